#include "command.h"

#include <sys/wait.h>

#include <array>
#include <cstdio>

namespace testsupport_test {
namespace {

// sgdisk lives in /usr/sbin, which an ordinary user's PATH may not hold.
constexpr char kWithSbinOnPath[] = "PATH=\"$PATH:/usr/sbin:/sbin\"; export PATH; ";

}  // namespace

CommandResult RunCommand(const std::string& command) {
  CommandResult result;
  FILE* pipe = popen((kWithSbinOnPath + command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return result;
  std::array<char, 4096> buffer;
  std::size_t n = 0;
  while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0) result.output.append(buffer.data(), n);
  const int status = pclose(pipe);
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

bool OnPath(const std::string& program) {
  return RunCommand("command -v " + Quote(program) + " >/dev/null").exitCode == 0;
}

std::string Quote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

}  // namespace testsupport_test
