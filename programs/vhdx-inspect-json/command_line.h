#pragma once

#include <ostream>

namespace json_app {

// Parses the command line of vhdx-inspect-json, runs the chosen mode with
// the JSON lines on `out` and the lines about the run on `err`, and returns
// the exit status (common/exit_status.h). The arguments are names in the
// kUnicode form (common/name_form.h): on Windows WTF-8 from the wide command
// line. A run that finds no memory for its next line ends as one whose
// report cannot be written: one line on `err` and kReportNotWritten.
int RunCommandLine(int argc, const char* const argv[], std::ostream& out, std::ostream& err);

}  // namespace json_app
