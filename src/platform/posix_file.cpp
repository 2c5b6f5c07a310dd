// POSIX backend of the image file: open(2) without blocking, fstat(2) to admit
// regular files only, and advisory locks for exclusivity (posix_image_lock.h).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <string>
#include <system_error>

#include "platform/file.h"
#include "platform/posix_image_lock.h"

namespace vhdx_inspect::detail::platform {

const ErrorCode kInvalidPositionStatus = EINVAL;
const ErrorCode kOutOfMemoryStatus = ENOMEM;

// The C library's text (strerror_r underneath, so safe from any thread).
std::string SystemErrorText(ErrorCode status) { return std::generic_category().message(static_cast<int>(status)); }

namespace {

// Status of an open refused because the path names something that is not a
// regular file and not a directory (a FIFO, a socket, a device).
constexpr ErrorCode kNotRegularFile = EINVAL;

class PosixFile final : public File {
 public:
  PosixFile(int fd, std::uint64_t size) : fd_(fd), size_(size) {}
  ~PosixFile() override { ::close(fd_); }

  bool Read(void* buffer, std::uint32_t size, std::uint32_t& bytesRead) override {
    auto* out = static_cast<unsigned char*>(buffer);
    std::uint32_t total = 0;
    while (total < size) {
      const ssize_t got = ::read(fd_, out + total, size - total);
      if (got < 0) {
        if (errno == EINTR) continue;
        lastError_ = static_cast<ErrorCode>(errno);
        bytesRead = 0;
        return false;
      }
      if (got == 0) break;
      total += static_cast<std::uint32_t>(got);
    }
    bytesRead = total;
    return true;
  }

  bool Seek(std::uint64_t offset) override {
    if (offset > static_cast<std::uint64_t>(INT64_MAX)) {
      lastError_ = EINVAL;
      return false;
    }
    if (::lseek(fd_, static_cast<off_t>(offset), SEEK_SET) < 0) {
      lastError_ = static_cast<ErrorCode>(errno);
      return false;
    }
    return true;
  }

  ErrorCode LastError() const override { return lastError_; }

  // Only regular files are opened: the length fstat(2) gave the open.
  std::optional<std::uint64_t> Size() const override { return size_; }

  // Advice only: a system that does not take it reads as before.
  void AdviseRandomAccess() override { ::posix_fadvise(fd_, 0, 0, POSIX_FADV_RANDOM); }

 private:
  int fd_;
  std::uint64_t size_;
  ErrorCode lastError_ = 0;
};

ErrorCode LastErrno() { return static_cast<ErrorCode>(errno); }

// 0 for a regular file, whose length is then `size`.
ErrorCode CheckRegularFile(int fd, std::uint64_t& size) {
  struct stat info {};
  if (::fstat(fd, &info) != 0) return LastErrno();
  if (S_ISDIR(info.st_mode)) return EISDIR;
  if (!S_ISREG(info.st_mode) || info.st_size < 0) return kNotRegularFile;
  size = static_cast<std::uint64_t>(info.st_size);
  return 0;
}

}  // namespace

OpenResult OpenForExclusiveRead(const std::filesystem::path& path) { return OpenNarrowForExclusiveRead(path.native()); }

std::string NameAsText(const std::filesystem::path& path) { return path.native(); }

OpenResult OpenNarrowForExclusiveRead(const std::string& path) {
  // O_NONBLOCK keeps a FIFO without a writer from blocking the open; it is
  // cleared again before any read.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return {nullptr, LastErrno()};
  std::uint64_t size = 0;
  ErrorCode status = CheckRegularFile(fd, size);
  if (status == 0) status = LockImage(fd);
  if (status == 0) {
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) < 0) status = LastErrno();
  }
  if (status != 0) {
    ::close(fd);
    return {nullptr, status};
  }
  return {std::make_unique<PosixFile>(fd, size), 0};
}

}  // namespace vhdx_inspect::detail::platform
