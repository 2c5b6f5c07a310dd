#pragma once

#include <ostream>

namespace json_app {

// Parses the command line of vhdx-inspect-json, runs the chosen mode with
// the JSON lines on `out` and the lines about the run on `err`, and returns
// the exit status (common/exit_status.h). The arguments are names in the
// kUnicode form (common/name_form.h): on Windows WTF-8 from the wide command
// line.
int RunCommandLine(int argc, const char* const argv[], std::ostream& out, std::ostream& err);

}  // namespace json_app
