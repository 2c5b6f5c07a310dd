// vhdx-inspect-json's entry: the command line, with the JSON lines on
// standard output, handled as in the text program: a write that fails ends
// the run with one line on standard error and exit status 2. On Windows the
// arguments are taken from the wide command line, so that every name Windows
// can hold is opened as it is (common/name_form.h).
#include <iostream>
#include <string>
#include <vector>

#include "common/name_form.h"
#include "common/platform/run_control.h"
#include "common/report_on_standard_output.h"
#include "vhdx-inspect-json/command_line.h"

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace {

// A closed standard output or error is held by /dev/null opened for reading
// before any image is opened: otherwise an image opened in a worker would
// take its number (the lowest free) while the scan's thread writes the report
// there. Writes still fail as on a closed descriptor, with EBADF.
void HoldClosedStandardStreams() {
  for (const int stream : {STDOUT_FILENO, STDERR_FILENO}) {
    if (::fcntl(stream, F_GETFD) != -1 || errno != EBADF) continue;
    const int held = ::open("/dev/null", O_RDONLY);
    if (held >= 0 && held != stream) {
      ::dup2(held, stream);
      ::close(held);
    }
  }
}

}  // namespace
#endif

int main(int argc, char* argv[]) {
#ifndef _WIN32
  HoldClosedStandardStreams();
#endif
  // Ctrl+C ends the run between two lines, never inside one.
  vhdx_programs::CatchInterrupt();
  const std::vector<std::string> arguments = vhdx_programs::UnicodeArguments(argc, argv);
  std::vector<const char*> unicodeArgv;
  unicodeArgv.reserve(arguments.size() + 1);
  for (const std::string& argument : arguments) unicodeArgv.push_back(argument.c_str());
  unicodeArgv.push_back(nullptr);
  return vhdx_programs::RunWithReportOnStandardOutput("vhdx-inspect-json", [&](std::ostream& out) {
    return json_app::RunCommandLine(static_cast<int>(arguments.size()), unicodeArgv.data(), out, std::cerr);
  });
}
