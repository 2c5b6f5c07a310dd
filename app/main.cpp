// The program's entry: the command line, with the report on standard output.
#include <cerrno>
#include <cstring>
#include <iostream>
#include <string>

#include "app/command_line.h"
#include "platform/narrow_arguments.h"

#ifdef _WIN32
#include <windows.h>

#include <cstdlib>
#else
#include "app/standard_output_buffer.h"
#endif

namespace {

// The exit status of a run whose report could not be written; 0 and 1 are
// the command line's own.
constexpr int kReportNotWritten = 2;

#ifdef _WIN32
// The system's text for the write that failed. Nothing has set it since: the
// library and the unwinding in between make no failing call.
std::string CauseOfFailedWrite() {
  // The C runtime keeps the Windows error code of its failed WriteFile in
  // _doserrno (0 when it made no call: a descriptor that is not open); its
  // errno would say "Invalid argument" for a pipe without a reader.
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

// Ends the run with one line on standard error naming the cause.
int ReportUnwritableOutput(const std::string& cause) {
  std::cerr.tie(nullptr);  // flushing standard output first would only fail again
  std::cerr << "vhdx-inspect: cannot write the report to standard output: " << cause << std::endl;
  return kReportNotWritten;
}

// Runs the command line with `out` as the report's stream. A write that
// fails stops the run at once: in directory mode no further image is
// inspected. `cause` names the failure afterwards.
template <typename Cause>
int RunReportingTo(std::ostream& out, int argc, char* argv[], Cause cause) {
  out.exceptions(std::ios::badbit);
  try {
    return app::RunCommandLine(argc, argv, out, platform::NarrowArguments::OfThisProcess(argc, argv));
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
#ifdef _WIN32
  // Standard output is written only through std::cout, which then needs no
  // synchronisation with C stdio: each std::endl is one WriteFile.
  std::ios::sync_with_stdio(false);
  return RunReportingTo(std::cout, argc, argv, CauseOfFailedWrite);
#else
  app::StandardOutputBuffer buffer;
  std::ostream out(&buffer);
  return RunReportingTo(out, argc, argv, [&buffer] { return std::string(std::strerror(buffer.WriteError())); });
#endif
}
