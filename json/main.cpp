// vhdx-inspect-json's entry: the command line, with the JSON lines on
// standard output. Standard output is handled as in the text program
// (app/main.cpp): a write that fails ends the run with one line on standard
// error and exit status 2.
#include <cerrno>
#include <cstring>
#include <iostream>
#include <string>

#include "json/command_line.h"
#include "json/exit_status.h"
#include "platform/run_control.h"

#ifdef _WIN32
#include <windows.h>
#else
#include "app/standard_output_buffer.h"
#endif

namespace {

#ifdef _WIN32
// The system's text for the write that failed: the Windows error code of the
// C runtime's failed WriteFile (_doserrno), as in the text program.
std::string CauseOfFailedWrite() {
  const unsigned long code = _doserrno;
  char text[256];
  DWORD length = code == 0 ? 0
                           : ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                                              0, text, sizeof text, nullptr);
  while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r' || text[length - 1] == ' ')) --length;
  if (length > 0) return std::string(text, length);
  return std::strerror(errno);
}
#endif

int ReportUnwritableOutput(const std::string& cause) {
  std::cerr.tie(nullptr);  // flushing standard output first would only fail again
  std::cerr << "vhdx-inspect-json: cannot write the report to standard output: " << cause << std::endl;
  return json_app::kReportNotWritten;
}

// A write that fails stops the run at once: no further image is inspected.
template <typename Cause>
int RunReportingTo(std::ostream& out, int argc, char* argv[], Cause cause) {
  out.exceptions(std::ios::badbit);
  try {
    return json_app::RunCommandLine(argc, argv, out, std::cerr, platform::NarrowArguments::OfThisProcess(argc, argv));
  } catch (...) {
    // The library raises the failure as a type of its own ABI, which a catch
    // of std::ios_base::failure does not match; a bad stream tells it.
    if (!out.bad()) throw;
    out.exceptions(std::ios::goodbit);
    return ReportUnwritableOutput(cause());
  }
}

}  // namespace

int main(int argc, char* argv[]) {
  // Ctrl+C ends the run between two lines, never inside one.
  platform::CatchInterrupt();
#ifdef _WIN32
  std::ios::sync_with_stdio(false);
  return RunReportingTo(std::cout, argc, argv, CauseOfFailedWrite);
#else
  app::StandardOutputBuffer buffer;
  std::ostream out(&buffer);
  return RunReportingTo(out, argc, argv, [&buffer] { return std::string(std::strerror(buffer.WriteError())); });
#endif
}
