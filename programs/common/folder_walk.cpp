#include "common/folder_walk.h"

#include <boost/filesystem.hpp>

#include <string>
#include <type_traits>

namespace vhdx_programs {
namespace {

namespace fs = boost::filesystem;
using boost::system::error_code;

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// The extension of a listed entry, as path::extension gives it: its name
// from the last dot on, the dot included (a listing holds no "." or "..").
// Taken from the path's characters: extension() builds the name and two
// paths and compares them, 1,400 instructions an image of directory mode
// more (callgrind).
fs::path::string_type ExtensionOf(const fs::path& entry) {
  const fs::path::string_type& name = entry.native();
  const auto dot = name.rfind('.');
  if (dot == fs::path::string_type::npos) return {};
  for (auto i = dot + 1; i < name.size(); ++i) {
    if (name[i] == '/' || name[i] == fs::path::preferred_separator) return {};
  }
  return name.substr(dot);
}

// An extension as the narrow text HasImageExtension compares (".vhdx" is
// the same in either form); the same string where names are narrow.
template <typename Char>
std::string AsNarrow(std::basic_string<Char> text) {
  if constexpr (std::is_same_v<Char, char>) {
    return text;
  } else {
    return fs::path(text).string();
  }
}

SystemCause CauseOf(const error_code& error) { return SystemCause{error.value(), error.message()}; }

class Walk {
 public:
  Walk(const WalkRule& rule, NameForm form, WalkSink& sink) : rule_(rule), form_(form), sink_(sink) {}

  // How the walk names an entry: as the folder's own form of names does.
  std::string Named(const fs::path& entry) const {
    return form_ == NameForm::kUnicode ? UnicodeNameOf(entry.native()) : entry.string();
  }

  // Lists a folder that was found to be one; `shown` is how it is named.
  void Listing(const fs::path& folder, const std::string& shown) {
    error_code error;
    fs::directory_iterator it(folder, error);
    for (const fs::directory_iterator end; !error && it != end; it.increment(error)) {
      sink_.BeforeEntry();
      Entry(it->path());
    }
    if (error) {
      // A listing cut short by a signal (EINTR) is the sink's to end.
      sink_.BeforeEntry();
      sink_.FolderNotListed(shown, CauseOf(error));
    }
  }

 private:
  bool IsImage(const fs::path& entry) const { return HasImageExtension(AsNarrow(ExtensionOf(entry)), rule_.extension); }

  void Entry(const fs::path& entry) {
    error_code error;
    if (rule_.recursive) {
      // The entry itself, not what a link names: links to folders stay unfollowed.
      const fs::file_status own = fs::symlink_status(entry, error);
      if (!error && fs::is_directory(own)) {
        Listing(entry, Named(entry));
        return;
      }
    }
    const fs::file_status status = fs::status(entry, error);
    if (error && status.type() != fs::file_not_found) {
      // Only an image's entry is worth a word; any other is skipped silently.
      // A status cut short by a signal (EINTR) is the sink's to end first.
      if (IsImage(entry)) {
        sink_.BeforeEntry();
        sink_.EntryNotExamined(Named(entry), CauseOf(error));
      }
      return;
    }
    if (fs::is_directory(status) || !IsImage(entry)) return;
    sink_.Image(NamedByListing(entry.native(), form_ == NameForm::kUnicode ? std::string() : entry.string(), form_));
  }

  const WalkRule rule_;
  const NameForm form_;
  WalkSink& sink_;
};

}  // namespace

bool HasImageExtension(const std::string& extension, ImageExtension rule) {
  static constexpr char kImage[] = ".vhdx";
  if (rule == ImageExtension::kExact) return extension == kImage;
  if (extension.size() != sizeof kImage - 1) return false;
  for (std::size_t i = 0; i < extension.size(); ++i) {
    if (AsciiLower(extension[i]) != kImage[i]) return false;
  }
  return true;
}

void WalkFolder(const NamedPath& folder, const WalkRule& rule, WalkSink& sink) {
  if (!folder.exact) {
    sink.FolderMissing(folder.path);
    return;
  }
  const fs::path directory =
      folder.form == NameForm::kUnicode ? fs::path(NativeOfUnicodeName(folder.path)) : fs::path(folder.path);
  error_code error;
  const fs::file_status status = fs::status(directory, error);
  if (status.type() == fs::file_not_found) {
    sink.FolderMissing(folder.path);
    return;
  }
  if (error) {
    sink.BeforeEntry();  // a status cut short by a signal (EINTR) is the sink's to end
    sink.FolderNotListed(folder.path, CauseOf(error));
    return;
  }
  if (!fs::is_directory(status)) {
    sink.NotAFolder(folder.path);
    return;
  }
  Walk(rule, folder.form, sink).Listing(directory, folder.path);
}

}  // namespace vhdx_programs
