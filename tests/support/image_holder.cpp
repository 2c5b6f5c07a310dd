#include "support/image_holder.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>
#include <thread>

namespace testsupport {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kExecFailedStatus = 127;

[[noreturn]] void ExecHolder(const std::vector<std::string>& command) {
  std::vector<char*> args;
  for (const std::string& a : command) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  const int devNull = ::open("/dev/null", O_RDWR);
  if (devNull < 0) ::_exit(kExecFailedStatus);
  for (const int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) ::dup2(devNull, fd);
  ::execvp(args[0], args.data());
  ::_exit(kExecFailedStatus);
}

std::string Describe(const std::vector<std::string>& command) {
  std::string text;
  for (const std::string& a : command) text += (text.empty() ? "" : " ") + a;
  return text;
}

}  // namespace

std::vector<std::string> FlockHolderCommand(const std::string& path) {
  // --no-fork: the process that holds the lock is the one that is killed.
  return {"flock", "--no-fork", "--exclusive", path, "sleep", "600"};
}

std::vector<std::string> QemuIoHolderCommand(const std::string& path) {
  return {"qemu-io", "-c", "sleep 600000", path};
}

std::vector<std::string> QemuNbdHolderCommand(const std::string& path) {
  return {"qemu-nbd", "--read-only", "--socket=" + path + ".nbd", path};
}

bool LockedByAnotherProcess(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  bool locked = ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
  if (!locked) {
    struct flock anyByte {};
    anyByte.l_type = F_WRLCK;
    anyByte.l_whence = SEEK_SET;  // from byte 0 to the end of the file and beyond
    locked = ::fcntl(fd, F_OFD_GETLK, &anyByte) == 0 && anyByte.l_type != F_UNLCK;
  }
  ::close(fd);
  return locked;
}

ImageHolder::ImageHolder(const std::vector<std::string>& command, const std::string& path,
                         std::chrono::seconds timeout) {
  pid_ = ::fork();
  if (pid_ < 0) throw std::runtime_error("fork failed");
  if (pid_ == 0) ExecHolder(command);
  const Clock::time_point deadline = Clock::now() + timeout;
  while (!LockedByAnotherProcess(path)) {
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      throw std::runtime_error(Describe(command) + " ended (wait status " + std::to_string(status) +
                               ") before it held the image");
    }
    if (Clock::now() > deadline) {
      Release();
      throw std::runtime_error(Describe(command) + " did not hold the image within the time limit");
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

ImageHolder::~ImageHolder() { Release(); }

void ImageHolder::Release() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGKILL);
  while (::waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
  }
  pid_ = -1;
}

}  // namespace testsupport
