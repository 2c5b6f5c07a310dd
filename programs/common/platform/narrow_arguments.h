// Names whose narrow form is not the name itself. The Windows program takes
// its arguments, and forms the names a folder scan lists, in the ANSI code
// page (main's argv, CreateFileA). A character outside that code page has no
// narrow form: Windows puts a look-alike in its place (a best-fit mapping:
// "mā.vhdx" becomes "ma.vhdx") or "?", so the narrow name can name another
// file, or turn into another option. Such a name is refused before anything
// is opened, and is shown with "?" in place of each such character, a form
// that names no file (Windows allows no "?" in a name).
//
// On POSIX a name is its bytes, and every narrow name is exact.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/file.h"

namespace vhdx_programs {

// The status an inexact name is refused with, as if its open had failed:
// ERROR_INVALID_NAME (123) on Windows; EILSEQ on POSIX, where no name is
// refused.
extern const vhdx_inspect::detail::platform::ErrorCode kInexactNameStatus;

// A name in the system's own form: UTF-16 on Windows, bytes on POSIX (what
// a path's native() holds).
#ifdef _WIN32
using NativeName = std::wstring;
#else
using NativeName = std::string;
#endif

// The narrow form of a name, with "?" for each character that has none
// (never a look-alike).
struct NarrowName {
  std::string text;
  bool exact = true;  // false when a character had no narrow form
};
NarrowName NarrowFormOf(const NativeName& name);

// The arguments of main() whose narrow form is not exact.
class NarrowArguments {
 public:
  struct Inexact {
    std::string narrow;  // as main() got it, look-alikes and all
    std::string shown;   // with "?" for each character without a narrow form
  };

  // Every argument exact.
  NarrowArguments() = default;
  explicit NarrowArguments(std::vector<Inexact> inexact) : inexact_(std::move(inexact)) {}

  // Compares main()'s arguments with the process's own wide command line
  // (Windows); on POSIX every argument is exact.
  static NarrowArguments OfThisProcess(int argc, const char* const argv[]);

  // When `value` (an option's value, which is the whole of an argument or its
  // end: "-f v", "-fv", "--vhdx-file=v") may come from an inexact argument,
  // the form to show it by; nothing when it is exact. A value that could come
  // from an exact and from an inexact argument alike counts as inexact.
  std::optional<std::string> ShownIfInexact(const std::string& value) const;

 private:
  std::vector<Inexact> inexact_;
};

}  // namespace vhdx_programs
