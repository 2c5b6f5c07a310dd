// Standard output as a program's report stream. A write that fails stops the
// run at once (in a folder scan no further image is inspected) and ends it
// with one line on standard error naming the system's cause and exit status
// kReportNotWritten (exit_status.h); both programs handle their output this
// way.
#pragma once

#include <functional>
#include <ostream>

#include "common/exit_status.h"

namespace vhdx_programs {

// Runs `run` with standard output as its stream and returns its status, or
// vhdx_programs::kReportNotWritten after "<program>: cannot write the report to standard
// output: <cause>" on standard error.
int RunWithReportOnStandardOutput(const char* program, const std::function<int(std::ostream&)>& run);

}  // namespace vhdx_programs
