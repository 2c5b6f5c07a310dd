#pragma once

#include <ostream>

#include "common/platform/narrow_arguments.h"

namespace app {

// Parses the command line, runs the chosen mode and returns the exit status.
// A file or folder named by an argument of `narrowArguments`' inexact ones is
// refused before anything is opened (common/platform/narrow_arguments.h).
int RunCommandLine(int argc, const char* const argv[], std::ostream& out,
                   const vhdx_programs::NarrowArguments& narrowArguments = {});

}  // namespace app
