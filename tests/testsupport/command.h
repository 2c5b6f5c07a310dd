// Running the independent format checkers (qemu-img, vhdiinfo, sgdisk)
// through a POSIX shell.
#pragma once

#include <string>

namespace testsupport_test {

struct CommandResult {
  int exitCode = -1;
  std::string output;  // standard output and standard error together
};

// Runs `command` through the shell, with /usr/sbin and /sbin on PATH.
CommandResult RunCommand(const std::string& command);

// True when `program` is found on PATH, /usr/sbin or /sbin.
bool OnPath(const std::string& program);

// `text` quoted for the shell.
std::string Quote(const std::string& text);

}  // namespace testsupport_test
