// The program's entry: the command line, with the report on standard output.
#include "app/command_line.h"
#include "app/report_on_standard_output.h"
#include "platform/narrow_arguments.h"

int main(int argc, char* argv[]) {
  return app::RunWithReportOnStandardOutput("vhdx-inspect", [&](std::ostream& out) {
    return app::RunCommandLine(argc, argv, out, platform::NarrowArguments::OfThisProcess(argc, argv));
  });
}
