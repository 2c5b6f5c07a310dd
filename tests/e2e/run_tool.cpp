#include "run_tool.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <stdexcept>

extern char** environ;

namespace e2e {
namespace {

// Reads both pipes to their end without letting either fill up.
void Drain(int outFd, int errFd, std::string& out, std::string& err) {
  std::array<pollfd, 2> fds{{{outFd, POLLIN, 0}, {errFd, POLLIN, 0}}};
  std::array<std::string*, 2> sinks{&out, &err};
  int open = 2;
  std::array<char, 65536> chunk;
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

}  // namespace

ToolRun RunTool(const std::vector<std::string>& arguments) {
  std::vector<std::string> argvStorage{VHDX_INSPECT_PATH};
  argvStorage.insert(argvStorage.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& a : argvStorage) argv.push_back(a.data());
  argv.push_back(nullptr);

  int outPipe[2], errPipe[2];
  if (::pipe(outPipe) != 0 || ::pipe(errPipe) != 0) throw std::runtime_error("pipe failed");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, outPipe[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, errPipe[1], STDERR_FILENO);
  posix_spawn_file_actions_addclose(&actions, outPipe[0]);
  posix_spawn_file_actions_addclose(&actions, errPipe[0]);
  pid_t pid = 0;
  const int spawned = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(outPipe[1]);
  ::close(errPipe[1]);
  if (spawned != 0) throw std::runtime_error("cannot start " + argvStorage[0]);

  ToolRun run;
  Drain(outPipe[0], errPipe[0], run.out, run.err);
  int wstatus = 0;
  ::waitpid(pid, &wstatus, 0);
  if (WIFEXITED(wstatus)) run.status = WEXITSTATUS(wstatus);
  if (WIFSIGNALED(wstatus)) run.signal = WTERMSIG(wstatus);
  return run;
}

ScratchDirectory::ScratchDirectory() {
  std::string pattern = (std::filesystem::temp_directory_path() / "vhdx-inspect-e2e-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

ScratchDirectory::~ScratchDirectory() {
  std::error_code ignored;
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all, ignored);
  std::filesystem::remove_all(path_, ignored);
}

}  // namespace e2e
