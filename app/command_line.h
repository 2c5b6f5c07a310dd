#pragma once

#include <ostream>

namespace app {

// Parses the command line, runs the chosen mode and returns the exit status.
int RunCommandLine(int argc, const char* const argv[], std::ostream& out);

}  // namespace app
