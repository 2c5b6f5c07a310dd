// What a program that runs many inspections asks of the system about the
// run itself: the CPU time the process has used, and whether the user asked
// it to stop (Ctrl+C).
#pragma once

#include <chrono>

namespace platform {

// The CPU time of every thread of the process so far, user and system.
std::chrono::nanoseconds ProcessCpuTime();

// From now on, Ctrl+C (SIGINT, and SIGTERM on POSIX; the console's Ctrl+C
// and Ctrl+Break on Windows) no longer ends the process: it is recorded for
// InterruptRequested to tell.
void CatchInterrupt();

// True once an interrupt was caught.
bool InterruptRequested();

}  // namespace platform
