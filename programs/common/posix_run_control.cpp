#include <pthread.h>

#include <atomic>
#include <csignal>
#include <ctime>

#include "common/run_control.h"

namespace platform {
namespace {

// Set by the signal handler, read by every thread: a lock-free atomic is
// both safe in a handler and free of data races.
std::atomic<bool> interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free);

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
  interrupted.store(true);
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

bool InterruptRequested() { return interrupted.load(); }

InterruptsHeldBack::InterruptsHeldBack() {
  const sigset_t signals = InterruptSignals();
  ::pthread_sigmask(SIG_BLOCK, &signals, &saved_);
}

InterruptsHeldBack::~InterruptsHeldBack() { ::pthread_sigmask(SIG_SETMASK, &saved_, nullptr); }

}  // namespace platform
