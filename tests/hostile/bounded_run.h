// Runs a program the way the hostile-image tests need: with a time limit that
// kills a hung run, with the peak memory of the run, and, when asked, as
// another user (the test suite may run as root, which reads any file).
#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace hostile {

struct Account {
  uid_t uid;
  gid_t gid;
};

struct RunLimits {
  std::chrono::seconds timeout{60};   // the run is killed after this long
  std::optional<Account> as;          // drop to this account before exec
};

struct BoundedRun {
  std::string out;
  std::string err;
  int status = -1;        // the exit status; -1 when the program did not exit
  int signal = 0;         // the signal that ended it
  bool timedOut = false;  // killed at the time limit
  bool execFailed = false;
  double seconds = 0;     // wall time
  long peakKiB = 0;       // peak resident set size of the run
};

// Runs `argv` (argv[0] is the program's path) with `limits`.
BoundedRun RunBounded(const std::vector<std::string>& argv, const RunLimits& limits = {});

// Runs the built vhdx-inspect with `arguments`.
BoundedRun RunInspect(const std::vector<std::string>& arguments, const RunLimits& limits = {});

// The unprivileged account to run as when the tests run as root ("nobody"),
// or nothing when they do not run as root or there is no such account.
std::optional<Account> UnprivilegedAccount();

}  // namespace hostile
