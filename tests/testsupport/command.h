// Running the independent format checkers (qemu-img, vhdiinfo, sgdisk) and
// giving each test its own scratch files.
#pragma once

#include <string>

namespace testsupport_test {

struct CommandResult {
  int exitCode = -1;
  std::string output;  // standard output and standard error together
};

// Runs `command` through the shell.
CommandResult RunCommand(const std::string& command);

// True when `program` is found on PATH.
bool OnPath(const std::string& program);

// A path in the test scratch directory that no other running test uses.
std::string ScratchPath(const std::string& name);

// `text` quoted for the shell.
std::string Quote(const std::string& text);

}  // namespace testsupport_test
