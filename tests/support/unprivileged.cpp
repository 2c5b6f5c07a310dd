#include "support/unprivileged.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>
#include <system_error>

namespace testsupport {
namespace {

constexpr uid_t kNobody = 65534;

void Chown(const std::filesystem::path& path, const Account& account) {
  if (::lchown(path.c_str(), account.uid, account.gid) != 0) {
    throw std::system_error(errno, std::generic_category(), "cannot hand " + path.string() + " over");
  }
}

// Reads the whole result that the child wrote, or nothing when it wrote none.
std::optional<int> ReadResult(int fd) {
  int result = 0;
  std::size_t got = 0;
  while (got < sizeof result) {
    const ssize_t n = ::read(fd, reinterpret_cast<char*>(&result) + got, sizeof result - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return std::nullopt;
    got += static_cast<std::size_t>(n);
  }
  return result;
}

// Runs `check` in a child process that becomes `account` first, and returns
// what it returned.
int RunInChildAs(const Account& account, const std::function<int()>& check) {
  int result[2];
  if (::pipe(result) != 0) throw std::system_error(errno, std::generic_category(), "pipe");
  const pid_t pid = ::fork();
  if (pid < 0) throw std::system_error(errno, std::generic_category(), "fork");
  if (pid == 0) {
    ::close(result[0]);
    if (!BecomeAccount(account)) ::_exit(1);
    const int value = check();
    const bool written = ::write(result[1], &value, sizeof value) == static_cast<ssize_t>(sizeof value);
    ::_exit(written ? 0 : 1);
  }
  ::close(result[1]);
  const std::optional<int> value = ReadResult(result[0]);
  ::close(result[0]);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (!value) throw std::runtime_error("the check did not run to its end as user " + std::to_string(account.uid));
  return *value;
}

}  // namespace

std::optional<Account> UnprivilegedAccount() {
  if (::geteuid() != 0) return std::nullopt;
  const passwd* entry = ::getpwnam("nobody");
  if (entry == nullptr) return Account{kNobody, kNobody};
  return Account{entry->pw_uid, entry->pw_gid};
}

bool BecomeAccount(const Account& account) {
  return ::setgroups(0, nullptr) == 0 && ::setgid(account.gid) == 0 && ::setuid(account.uid) == 0;
}

void HandOver(const std::filesystem::path& path, const Account& account) {
  const std::filesystem::path absolute = std::filesystem::absolute(path);
  for (std::filesystem::path above = absolute.parent_path();; above = above.parent_path()) {
    struct stat status {};
    if (::stat(above.c_str(), &status) != 0 || (status.st_mode & S_IXOTH) == 0) {
      throw std::runtime_error(above.string() + " does not let every user through, so user " +
                               std::to_string(account.uid) + " cannot reach " + absolute.string() +
                               " (set TMPDIR to a folder under one that does)");
    }
    if (above == above.root_path()) break;
  }
  Chown(absolute, account);
  if (!std::filesystem::is_directory(std::filesystem::symlink_status(absolute))) return;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(absolute)) Chown(entry.path(), account);
}

int RunAsOrdinaryUser(const std::filesystem::path& files, const std::function<int()>& check) {
  const std::optional<Account> account = UnprivilegedAccount();
  if (!account) return check();
  HandOver(files, *account);
  return RunInChildAs(*account, check);
}

}  // namespace testsupport
