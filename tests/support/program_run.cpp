#include "support/program_run.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string_view>
#include <system_error>

namespace testsupport {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kExecFailedStatus = 127;
constexpr char kExecFailedMarker[] = "RunProgram: exec failed\n";

// In the child: replaces the captured standard output as `output` asks.
bool RedirectOutput(StandardOutput output) {
  switch (output) {
    case StandardOutput::kCaptured:
      return true;
    case StandardOutput::kClosed:
      return ::close(STDOUT_FILENO) == 0;
    case StandardOutput::kFull: {
      const int full = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
      return full >= 0 && ::dup2(full, STDOUT_FILENO) >= 0;
    }
    case StandardOutput::kClosedPipe: {
      int gone[2];
      if (::pipe2(gone, O_CLOEXEC) != 0 || ::dup2(gone[1], STDOUT_FILENO) < 0) return false;
      ::close(gone[0]);
      return ::signal(SIGPIPE, SIG_DFL) != SIG_ERR;
    }
  }
  return false;
}

[[noreturn]] void ExecChild(const std::vector<std::string>& argv, const RunLimits& limits, int outFd, int errFd) {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  if (::dup2(outFd, STDOUT_FILENO) < 0 || ::dup2(errFd, STDERR_FILENO) < 0) ::_exit(kExecFailedStatus);
  const int input = ::open(limits.input.empty() ? "/dev/null" : limits.input.c_str(), O_RDONLY);
  if (input < 0 || ::dup2(input, STDIN_FILENO) < 0) ::_exit(kExecFailedStatus);
  // Last, so that no descriptor opened here takes the place of a closed one.
  if (!RedirectOutput(limits.output)) ::_exit(kExecFailedStatus);
  if (limits.as) {
    // Opened before the account is taken, so that a build folder the account
    // cannot reach (under /root, say) does not keep the program from running.
    const int program = ::open(args[0], O_RDONLY | O_CLOEXEC);
    if (program >= 0 && BecomeAccount(*limits.as)) ::fexecve(program, args.data(), environ);
  } else {
    ::execv(args[0], args.data());
  }
  const ssize_t ignored = ::write(STDERR_FILENO, kExecFailedMarker, sizeof kExecFailedMarker - 1);
  (void)ignored;
  ::_exit(kExecFailedStatus);
}

bool IsExecutableFile(const std::filesystem::path& path) {
  std::error_code error;
  return std::filesystem::is_regular_file(path, error) && ::access(path.c_str(), X_OK) == 0;
}

}  // namespace

ProgramRun RunProgram(const std::vector<std::string>& argv, const RunLimits& limits) {
  int outPipe[2], errPipe[2];
  if (::pipe2(outPipe, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  if (::pipe2(errPipe, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");

  const Clock::time_point start = Clock::now();
  const pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) ExecChild(argv, limits, outPipe[1], errPipe[1]);
  ::close(outPipe[1]);
  ::close(errPipe[1]);

  ProgramRun run;
  std::array<pollfd, 2> fds{{{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}}};
  std::array<std::string*, 2> sinks{&run.out, &run.err};
  const Clock::time_point deadline = start + limits.timeout;
  std::array<char, 65536> chunk;
  for (int open = 2; open > 0;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) {
      ::kill(pid, SIGKILL);
      run.timedOut = true;
      break;
    }
    if (::poll(fds.data(), fds.size(), static_cast<int>(left)) < 0 && errno != EINTR) break;
    for (std::size_t i = 0; i < fds.size(); ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      const ssize_t got = ::read(fds[i].fd, chunk.data(), chunk.size());
      if (got > 0) {
        sinks[i]->append(chunk.data(), static_cast<std::size_t>(got));
      } else if (got == 0 || errno != EINTR) {
        ::close(fds[i].fd);
        fds[i].fd = -1;
        --open;
      }
    }
  }
  for (const pollfd& p : fds) {
    if (p.fd >= 0) ::close(p.fd);
  }

  int wstatus = 0;
  rusage usage{};
  while (::wait4(pid, &wstatus, 0, &usage) < 0 && errno == EINTR) {
  }
  run.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  run.peakKiB = usage.ru_maxrss;
  if (WIFEXITED(wstatus)) run.status = WEXITSTATUS(wstatus);
  if (WIFSIGNALED(wstatus)) run.signal = WTERMSIG(wstatus);
  run.execFailed =
      run.status == kExecFailedStatus && run.out.empty() && (run.err.empty() || run.err == kExecFailedMarker);
  return run;
}

std::optional<std::string> FindProgram(const std::string& name) {
  const char* path = std::getenv("PATH");
  const std::string folders = std::string(path != nullptr ? path : "") + ":/usr/sbin:/sbin";
  std::string_view rest = folders;
  while (!rest.empty()) {
    const std::size_t colon = rest.find(':');
    const std::string_view folder = rest.substr(0, colon);
    rest = colon == std::string_view::npos ? std::string_view{} : rest.substr(colon + 1);
    if (folder.empty()) continue;
    const std::filesystem::path candidate = std::filesystem::path(folder) / name;
    if (IsExecutableFile(candidate)) return candidate.string();
  }
  return std::nullopt;
}

}  // namespace testsupport
