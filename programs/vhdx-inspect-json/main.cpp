// vhdx-inspect-json's entry: the command line, with the JSON lines on
// standard output, handled as in the text program: a write that fails ends
// the run with one line on standard error and exit status 2.
#include <iostream>

#include "common/exit_status.h"
#include "common/narrow_arguments.h"
#include "common/report_on_standard_output.h"
#include "common/run_control.h"
#include "vhdx-inspect-json/command_line.h"

static_assert(json_app::kReportNotWritten == app::kReportNotWritten);

int main(int argc, char* argv[]) {
  // Ctrl+C ends the run between two lines, never inside one.
  platform::CatchInterrupt();
  return app::RunWithReportOnStandardOutput("vhdx-inspect-json", [&](std::ostream& out) {
    return json_app::RunCommandLine(argc, argv, out, std::cerr, platform::NarrowArguments::OfThisProcess(argc, argv));
  });
}
