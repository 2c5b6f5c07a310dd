#pragma once

#include <ostream>

#include "common/narrow_arguments.h"

namespace json_app {

// Parses the command line of vhdx-inspect-json, runs the chosen mode with
// the JSON lines on `out` and the lines about the run on `err`, and returns
// the exit status (common/exit_status.h).
int RunCommandLine(int argc, const char* const argv[], std::ostream& out, std::ostream& err,
                   const platform::NarrowArguments& narrowArguments = {});

}  // namespace json_app
