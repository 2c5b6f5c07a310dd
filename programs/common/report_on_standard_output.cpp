#include "common/report_on_standard_output.h"

#include <cerrno>
#include <cstring>
#include <iostream>
#include <string>

#ifdef _WIN32
#include <windows.h>

#include <cstdlib>
#else
#include "common/standard_output_buffer.h"
#endif

namespace vhdx_programs {
namespace {

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
int ReportUnwritableOutput(const char* program, const std::string& cause) {
  std::cerr.tie(nullptr);  // flushing standard output first would only fail again
  std::cerr << program << ": cannot write the report to standard output: " << cause << std::endl;
  return vhdx_programs::kReportNotWritten;
}

template <typename Cause>
int RunReportingTo(std::ostream& out, const char* program, const std::function<int(std::ostream&)>& run, Cause cause) {
  out.exceptions(std::ios::badbit);
  try {
    return run(out);
  } catch (...) {
    // The library raises the failure as a type of its own ABI, which a catch
    // of std::ios_base::failure does not match; a bad stream tells it.
    if (!out.bad()) throw;
    out.exceptions(std::ios::goodbit);
    return ReportUnwritableOutput(program, cause());
  }
}

}  // namespace

int RunWithReportOnStandardOutput(const char* program, const std::function<int(std::ostream&)>& run) {
#ifdef _WIN32
  // Standard output is written only through std::cout, which then needs no
  // synchronisation with C stdio: each std::endl is one WriteFile.
  std::ios::sync_with_stdio(false);
  return RunReportingTo(std::cout, program, run, CauseOfFailedWrite);
#else
  StandardOutputBuffer buffer;
  std::ostream out(&buffer);
  return RunReportingTo(out, program, run, [&buffer] { return std::string(std::strerror(buffer.WriteError())); });
#endif
}

}  // namespace vhdx_programs
