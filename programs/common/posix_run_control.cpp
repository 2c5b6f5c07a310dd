#include <csignal>
#include <ctime>

#include "common/run_control.h"

namespace platform {
namespace {

// Written by the signal handler only: the one state a handler may touch.
volatile sig_atomic_t interrupted = 0;

void RecordInterrupt(int) { interrupted = 1; }

}  // namespace

std::chrono::nanoseconds ProcessCpuTime() {
  timespec now{};
  ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}

void CatchInterrupt() {
  struct sigaction action {};
  action.sa_handler = RecordInterrupt;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;  // a write in progress finishes its line
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGTERM, &action, nullptr);
}

bool InterruptRequested() { return interrupted != 0; }

}  // namespace platform
