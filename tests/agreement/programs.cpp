#include "programs.h"

#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <stdexcept>
#include <string_view>

extern char** environ;

namespace agreement {
namespace {

// Reads both pipes to their end without letting either fill up.
void Drain(int outFd, int errFd, std::string& out, std::string& err) {
  std::array<pollfd, 2> fds{{{outFd, POLLIN, 0}, {errFd, POLLIN, 0}}};
  const std::array<std::string*, 2> sinks{&out, &err};
  int open = 2;
  std::array<char, 65536> chunk{};
  while (open > 0) {
    if (::poll(fds.data(), fds.size(), -1) < 0) continue;
    for (std::size_t i = 0; i < fds.size(); ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      const ssize_t got = ::read(fds[i].fd, chunk.data(), chunk.size());
      if (got > 0) {
        sinks[i]->append(chunk.data(), static_cast<std::size_t>(got));
      } else {
        ::close(fds[i].fd);
        fds[i].fd = -1;
        --open;
      }
    }
  }
}

bool IsExecutable(const std::filesystem::path& path) {
  std::error_code error;
  return std::filesystem::is_regular_file(path, error) && ::access(path.c_str(), X_OK) == 0;
}

}  // namespace

ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& arguments) {
  std::vector<std::string> storage{program};
  storage.insert(storage.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& argument : storage) argv.push_back(argument.data());
  argv.push_back(nullptr);

  int outPipe[2];
  int errPipe[2];
  if (::pipe(outPipe) != 0) throw std::runtime_error("pipe failed");
  if (::pipe(errPipe) != 0) throw std::runtime_error("pipe failed");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, outPipe[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, errPipe[1], STDERR_FILENO);
  posix_spawn_file_actions_addclose(&actions, outPipe[0]);
  posix_spawn_file_actions_addclose(&actions, errPipe[0]);
  pid_t pid = 0;
  const int spawned = ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(outPipe[1]);
  ::close(errPipe[1]);
  if (spawned != 0) {
    ::close(outPipe[0]);
    ::close(errPipe[0]);
    throw std::runtime_error("cannot start " + program);
  }

  ProgramRun run;
  Drain(outPipe[0], errPipe[0], run.out, run.err);
  int wstatus = 0;
  ::waitpid(pid, &wstatus, 0);
  if (WIFEXITED(wstatus)) run.status = WEXITSTATUS(wstatus);
  return run;
}

std::string VhdxInspectPath() {
  const char* fromEnvironment = std::getenv("VHDX_INSPECT");
  return fromEnvironment != nullptr && *fromEnvironment != '\0' ? fromEnvironment : VHDX_INSPECT_BUILT_PATH;
}

ProgramRun RunVhdxInspect(const std::vector<std::string>& arguments) {
  return RunProgram(VhdxInspectPath(), arguments);
}

std::optional<std::string> FindProgram(const std::string& name) {
  std::string directories = std::getenv("PATH") != nullptr ? std::getenv("PATH") : "";
  directories += ":/usr/sbin:/sbin";
  std::string_view rest = directories;
  while (!rest.empty()) {
    const std::size_t colon = rest.find(':');
    const std::string_view directory = rest.substr(0, colon);
    rest = colon == std::string_view::npos ? std::string_view{} : rest.substr(colon + 1);
    if (directory.empty()) continue;
    const std::filesystem::path candidate = std::filesystem::path(directory) / name;
    if (IsExecutable(candidate)) return candidate.string();
  }
  return std::nullopt;
}

ScratchDirectory::ScratchDirectory() {
  std::string pattern = (std::filesystem::temp_directory_path() / "vhdx-inspect-agreement-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

ScratchDirectory::~ScratchDirectory() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

}  // namespace agreement
