// slow_mount: a read-only FUSE pass-through of a folder that waits a fixed
// time before every open, every read and every listing of a folder, as
// storage behind a network does,
// and can carry the bytes read over one link of limited bandwidth, for the
// tests and the benchmark of parallel scans.
//
//   slow_mount [--link MB_PER_S] SOURCE MOUNTPOINT LATENCY_US [SLOW_NAME SLOW_US]
//
// Every open, read and folder listing under MOUNTPOINT waits LATENCY_US
// microseconds (a listing once, when it starts); those
// of the file named SLOW_NAME wait SLOW_US more. With --link, every read
// then waits for its bytes to cross one link of MB_PER_S megabytes (10^6
// bytes) a second that all requests share, one after the other in the
// order they reach it. A directory lists its
// entries in the source's order. Reads bypass the page cache (direct I/O),
// so every read of every run pays the latency. Runs in the foreground,
// serving requests from several threads, until `fusermount3 -u MOUNTPOINT`.
#define FUSE_USE_VERSION 31

#include <dirent.h>
#include <fcntl.h>
#include <fuse.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

namespace {

std::string source;
std::chrono::microseconds latency{0};
std::string slowName;
std::chrono::microseconds slowLatency{0};

// The shared link: when it is next free, and how long a byte takes.
std::mutex linkMutex;
std::chrono::steady_clock::time_point linkFreeAt;
double linkNanosecondsPerByte = 0;

std::string Real(const char* path) { return source + path; }

// Waits until `bytes` have crossed the link after whatever is ahead of them.
void Carry(std::size_t bytes) {
  if (linkNanosecondsPerByte == 0 || bytes == 0) return;
  const auto transfer =
      std::chrono::nanoseconds(static_cast<std::int64_t>(linkNanosecondsPerByte * static_cast<double>(bytes)));
  std::chrono::steady_clock::time_point done;
  {
    const std::lock_guard<std::mutex> lock(linkMutex);
    const auto now = std::chrono::steady_clock::now();
    done = (linkFreeAt > now ? linkFreeAt : now) + transfer;
    linkFreeAt = done;
  }
  std::this_thread::sleep_until(done);
}

void Wait(const char* path) {
  std::this_thread::sleep_for(latency);
  if (slowName.empty()) return;
  const char* name = std::strrchr(path, '/');
  if (name != nullptr && slowName == name + 1) std::this_thread::sleep_for(slowLatency);
}

int GetAttr(const char* path, struct stat* status, fuse_file_info*) {
  return ::lstat(Real(path).c_str(), status) == 0 ? 0 : -errno;
}

int ReadLink(const char* path, char* buffer, size_t size) {
  if (size == 0) return -EINVAL;
  const ssize_t length = ::readlink(Real(path).c_str(), buffer, size - 1);
  if (length < 0) return -errno;
  buffer[length] = '\0';
  return 0;
}

int ReadDir(const char* path, void* buffer, fuse_fill_dir_t filler, off_t offset, fuse_file_info*, fuse_readdir_flags) {
  // Every entry goes in the first request; the kernel asks once more, from
  // the end, and finds none.
  if (offset != 0) return 0;
  Wait(path);
  DIR* directory = ::opendir(Real(path).c_str());
  if (directory == nullptr) return -errno;
  while (const dirent* entry = ::readdir(directory)) {
    struct stat status {};
    status.st_ino = entry->d_ino;
    status.st_mode = static_cast<mode_t>(DTTOIF(entry->d_type));
    if (filler(buffer, entry->d_name, &status, 0, static_cast<fuse_fill_dir_flags>(0)) != 0) break;
  }
  ::closedir(directory);
  return 0;
}

int Open(const char* path, fuse_file_info* file) {
  if ((file->flags & O_ACCMODE) != O_RDONLY) return -EROFS;
  Wait(path);
  const int descriptor = ::open(Real(path).c_str(), file->flags);
  if (descriptor < 0) return -errno;
  file->fh = static_cast<uint64_t>(descriptor);
  file->direct_io = 1;
  return 0;
}

int Read(const char* path, char* buffer, size_t size, off_t offset, fuse_file_info* file) {
  Wait(path);
  const ssize_t read = ::pread(static_cast<int>(file->fh), buffer, size, offset);
  if (read < 0) return -errno;
  Carry(static_cast<std::size_t>(read));
  return static_cast<int>(read);
}

int Release(const char*, fuse_file_info* file) {
  ::close(static_cast<int>(file->fh));
  return 0;
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc >= 3 && std::strcmp(argv[1], "--link") == 0) {
    const double megabytesPerSecond = std::strtod(argv[2], nullptr);
    if (megabytesPerSecond > 0) linkNanosecondsPerByte = 1000.0 / megabytesPerSecond;
    argv += 2;
    argc -= 2;
  }
  if (argc != 4 && argc != 6) {
    std::fprintf(stderr, "usage: slow_mount [--link MB_PER_S] SOURCE MOUNTPOINT LATENCY_US [SLOW_NAME SLOW_US]\n");
    return 1;
  }
  char* resolved = ::realpath(argv[1], nullptr);
  if (resolved == nullptr) {
    std::perror(argv[1]);
    return 1;
  }
  source = resolved;
  std::free(resolved);
  latency = std::chrono::microseconds(std::strtoll(argv[3], nullptr, 10));
  if (argc == 6) {
    slowName = argv[4];
    slowLatency = std::chrono::microseconds(std::strtoll(argv[5], nullptr, 10));
  }

  fuse_operations operations{};
  operations.getattr = GetAttr;
  operations.readlink = ReadLink;
  operations.readdir = ReadDir;
  operations.open = Open;
  operations.read = Read;
  operations.release = Release;
  char program[] = "slow_mount";
  char foreground[] = "-f";
  char option[] = "-o";
  char options[] = "ro,fsname=slow_mount";
  char* fuseArguments[] = {program, argv[2], foreground, option, options, nullptr};
  return fuse_main(5, fuseArguments, &operations, nullptr);
}
