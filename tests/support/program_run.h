// Runs a program the way the tests watch one: both output streams captured
// whole, the exit status or signal, a time limit that kills a hung run, the
// wall time and peak memory of the run, and, when asked, as another user
// (the tests may run as root, which reads any file); and where an installed
// program is. POSIX only.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "support/unprivileged.h"

namespace testsupport {

// Where the program's standard output goes.
enum class StandardOutput {
  kCaptured,    // a pipe, read whole into ProgramRun::out
  kClosed,      // no descriptor 1 at all
  kFull,        // /dev/full: every write fails with ENOSPC
  kClosedPipe,  // a pipe whose reader has gone, with SIGPIPE as a shell leaves it
};

struct RunLimits {
  std::chrono::seconds timeout{120};  // the run is killed after this long
  std::optional<Account> as;          // become this account before exec; the
                                      // program need not be reachable by it
  StandardOutput output = StandardOutput::kCaptured;
  std::string input;  // the file standard input reads; /dev/null when empty
};

struct ProgramRun {
  std::string out;          // standard output
  std::string err;          // standard error
  int status = -1;          // the exit status; -1 when the program did not exit
  int signal = 0;           // the signal that ended it
  bool timedOut = false;    // killed at the time limit
  bool execFailed = false;  // the program could not be started
  double seconds = 0;       // wall time
  long peakKiB = 0;         // peak resident set size of the run
};

// Runs `argv` (argv[0] is the program's path, no shell) with `limits`.
// Standard input is limits.input, or /dev/null.
ProgramRun RunProgram(const std::vector<std::string>& argv, const RunLimits& limits = {});

// Where `name` is installed: the first executable file of that name on PATH,
// or in /usr/sbin or /sbin (sgdisk lives there, and an ordinary user's PATH
// may not hold them). Nothing when it is not installed.
std::optional<std::string> FindProgram(const std::string& name);

}  // namespace testsupport
