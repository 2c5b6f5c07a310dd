// What a program that runs many inspections asks of the system about the
// run itself: the CPU time the process has used, and whether the user asked
// it to stop (Ctrl+C).
#pragma once

#include <atomic>
#include <chrono>

#ifndef _WIN32
#include <csignal>
#endif

namespace vhdx_programs {

// The CPU time of every thread of the process so far, user and system.
std::chrono::nanoseconds ProcessCpuTime();

// From now on, Ctrl+C (SIGINT, and SIGTERM on POSIX; the console's Ctrl+C
// and Ctrl+Break on Windows) no longer ends the process: it is recorded for
// InterruptRequested to tell.
void CatchInterrupt();

namespace detail {
// Set by the signal handler (or the console's handler thread), read by every
// thread: a lock-free atomic is both safe in a handler and free of data
// races. Defined by each backend.
extern std::atomic<bool> interrupted;
static_assert(std::atomic<bool>::is_always_lock_free);
}  // namespace detail

// True once an interrupt was caught. A second interrupt ends the process at
// once (POSIX: the default action, re-raised; Windows: the console's default
// handler). Inline: the text report asks before each of its 200 lines an
// image (800 instructions an image less than a call, callgrind).
inline bool InterruptRequested() { return detail::interrupted.load(); }

// While one lives, the calling thread does not take the interrupt: a thread
// started meanwhile inherits that, so the interrupt always reaches the thread
// that writes the report and walks the folders (and cuts short its blocked
// write). Nothing on Windows, where the console's handler has a thread of its
// own.
class InterruptsHeldBack {
 public:
  InterruptsHeldBack();
  // Defined by each backend: the POSIX one restores the signal mask.
  ~InterruptsHeldBack();  // NOLINT(performance-trivially-destructible)
  InterruptsHeldBack(const InterruptsHeldBack&) = delete;
  InterruptsHeldBack& operator=(const InterruptsHeldBack&) = delete;

 private:
#ifndef _WIN32
  sigset_t saved_{};
#endif
};

}  // namespace vhdx_programs
