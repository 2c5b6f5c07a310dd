// vhdx-inspect-report's entry: the command line, with the page on standard
// output unless -o names a file, handled as in vhdx-inspect-json: a write
// that fails ends the run with one line on standard error and exit status 2,
// and Ctrl+C ends it between two images. On Windows the arguments are taken
// from the wide command line (common/name_form.h).
#include <iostream>
#include <string>
#include <vector>

#include "common/name_form.h"
#include "common/platform/run_control.h"
#include "common/report_on_standard_output.h"
#include "vhdx-inspect-report/command_line.h"

int main(int argc, char* argv[]) {
  vhdx_programs::CatchInterrupt();
  const std::vector<std::string> arguments = vhdx_programs::UnicodeArguments(argc, argv);
  std::vector<const char*> unicodeArgv;
  unicodeArgv.reserve(arguments.size() + 1);
  for (const std::string& argument : arguments) unicodeArgv.push_back(argument.c_str());
  unicodeArgv.push_back(nullptr);
  return vhdx_programs::RunWithReportOnStandardOutput("vhdx-inspect-report", [&](std::ostream& out) {
    return report_app::RunCommandLine(static_cast<int>(arguments.size()), unicodeArgv.data(), out, std::cerr);
  });
}
