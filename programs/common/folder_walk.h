// The folder walk both programs make: which entries of a folder are images,
// in which order, and what cannot be walked. What becomes of each is the
// sink's: the text program writes its report lines, vhdx-inspect-json its
// JSON lines and its lines on standard error.
#pragma once

#include <string>

#include "common/named_path.h"

namespace vhdx_programs {

// Which names are images.
enum class ImageExtension {
  kExact,    // ".vhdx" byte for byte (the text program)
  kAnyCase,  // ".vhdx" in any case: BACKUP.VHDX, x.Vhdx (vhdx-inspect-json)
};

struct WalkRule {
  ImageExtension extension = ImageExtension::kExact;
  // A folder met in the listing is walked where it is met, before the entries
  // after it; a symbolic link to a folder is never followed.
  bool recursive = false;
};

// Why the system refused a status or a listing: its error code (errno on
// POSIX, the Win32 error code on Windows) and its text for it. A sink that
// writes lines writes the text; one that hands out values (the Python
// module's OSError) takes the code too.
struct SystemCause {
  int status = 0;
  std::string text;
};

// What the walk finds, in the order it finds it.
class WalkSink {
 public:
  virtual ~WalkSink() = default;
  // Called before each entry of a listing, also of one that holds no image,
  // and before EntryNotExamined and FolderNotListed for a folder found to be
  // one (a signal may have cut the status or listing short, with EINTR):
  // where a sink may end a long walk (by throwing) before any such line.
  virtual void BeforeEntry() {}
  // An entry that is not a folder and whose name is an image's.
  virtual void Image(const NamedPath& image) = 0;
  // An entry named like an image whose status cannot be read. The walk goes on.
  virtual void EntryNotExamined(const std::string& entry, const SystemCause& cause) = 0;
  // The folder given does not exist (or its name is not exact: the shown form).
  virtual void FolderMissing(const std::string& folder) = 0;
  // The folder given is something else.
  virtual void NotAFolder(const std::string& folder) = 0;
  // A folder (the one given, or one below it) whose status or listing fails.
  // The walk goes on with what remains.
  virtual void FolderNotListed(const std::string& folder, const SystemCause& cause) = 0;
};

// Walks `folder` (as given, not yet opened) in listing order, the file
// system's own, and hands `sink` what it finds, named in the folder's form
// (name_form.h).
void WalkFolder(const NamedPath& folder, const WalkRule& rule, WalkSink& sink);

// Whether a name's extension (from its last dot on, dot included) makes it
// an image's.
bool HasImageExtension(const std::string& extension, ImageExtension rule);

}  // namespace vhdx_programs
