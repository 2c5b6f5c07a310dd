// How a program names the files it is given and finds. The text program
// takes every name in the system's narrow form: on Windows the ANSI code
// page, as main()'s arguments come (narrow_arguments.h refuses the names
// that have no exact such form). vhdx-inspect-json takes every name Windows
// can hold: its arguments come from the wide command line, a folder's
// entries by their UTF-16 names, and each name is carried as WTF-8 text
// (wtf8.h) and opened by its exact UTF-16 form. On POSIX a name is its bytes
// in both forms.
#pragma once

#include <string>
#include <vector>

#include "common/platform/narrow_arguments.h"

namespace vhdx_programs {

enum class NameForm {
  kNarrow,   // the text program
  kUnicode,  // vhdx-inspect-json
};

// The system's own form of a name carried as WTF-8 text (kUnicode).
vhdx_programs::NativeName NativeOfUnicodeName(const std::string& name);

// A name in the system's own form as WTF-8 text (kUnicode).
std::string UnicodeNameOf(const vhdx_programs::NativeName& native);

// The program's arguments as kUnicode names: on Windows from the process's
// wide command line (CommandLineToArgvW), argv[0] included; on POSIX argv as
// it is.
std::vector<std::string> UnicodeArguments(int argc, const char* const argv[]);

}  // namespace vhdx_programs
