// The program's entry: the command line, with the report on standard output.
#include "common/platform/narrow_arguments.h"
#include "common/report_on_standard_output.h"
#include "vhdx-inspect/command_line.h"

int main(int argc, char* argv[]) {
  return vhdx_programs::RunWithReportOnStandardOutput("vhdx-inspect", [&](std::ostream& out) {
    return app::RunCommandLine(argc, argv, out, vhdx_programs::NarrowArguments::OfThisProcess(argc, argv));
  });
}
