#include <windows.h>

#include <atomic>

#include "common/platform/run_control.h"

namespace vhdx_programs {

std::atomic<bool> detail::interrupted{false};

namespace {

// The first Ctrl+C is recorded; the second goes on to the default handler,
// which ends the process at once.
BOOL WINAPI RecordInterrupt(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
  return detail::interrupted.exchange(true) ? FALSE : TRUE;
}

std::chrono::nanoseconds FromFileTime(const FILETIME& time) {
  const ULONGLONG ticks = (ULONGLONG{time.dwHighDateTime} << 32) | time.dwLowDateTime;  // 100 ns each
  return std::chrono::nanoseconds(static_cast<long long>(ticks) * 100);
}

}  // namespace

std::chrono::nanoseconds ProcessCpuTime() {
  FILETIME created{}, exited{}, kernel{}, user{};
  if (!::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user)) return {};
  return FromFileTime(kernel) + FromFileTime(user);
}

void CatchInterrupt() { ::SetConsoleCtrlHandler(RecordInterrupt, TRUE); }

InterruptsHeldBack::InterruptsHeldBack() = default;
InterruptsHeldBack::~InterruptsHeldBack() = default;

}  // namespace vhdx_programs
