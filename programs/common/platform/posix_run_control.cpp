#include <pthread.h>

#include <atomic>
#include <csignal>
#include <ctime>

#include "common/platform/run_control.h"

namespace vhdx_programs {

std::atomic<bool> detail::interrupted{false};

namespace {

void SetAction(void (*handler)(int)) {
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  // No SA_RESTART: a write blocked on a pipe that nobody reads returns with
  // EINTR, and the run ends.
  action.sa_flags = 0;
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGTERM, &action, nullptr);
}

// The first interrupt is recorded; the default action is back for the next
// one, which ends the process at once.
void RecordInterrupt(int) {
  detail::interrupted.store(true);
  SetAction(SIG_DFL);  // sigaction is async-signal-safe
}

sigset_t InterruptSignals() {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  return signals;
}

}  // namespace

std::chrono::nanoseconds ProcessCpuTime() {
  timespec now{};
  ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}

void CatchInterrupt() { SetAction(RecordInterrupt); }

InterruptsHeldBack::InterruptsHeldBack() {
  const sigset_t signals = InterruptSignals();
  ::pthread_sigmask(SIG_BLOCK, &signals, &saved_);
}

InterruptsHeldBack::~InterruptsHeldBack() { ::pthread_sigmask(SIG_SETMASK, &saved_, nullptr); }

}  // namespace vhdx_programs
