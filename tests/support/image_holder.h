// A program that holds an image in the background, as a running VM holds its
// disk: started with the object, it is ended (SIGKILL, then reaped) when the
// object goes, on every path out of a test. POSIX only.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace testsupport {

// Command lines of the holders the tests use (programs found on PATH).
// flock(1) holding an exclusive flock(2) on the file.
std::vector<std::string> FlockHolderCommand(const std::string& path);
// qemu-io with the image open for writing, holding QEMU's byte-range locks.
std::vector<std::string> QemuIoHolderCommand(const std::string& path);
// qemu-nbd exporting the image read-only on a socket beside it.
std::vector<std::string> QemuNbdHolderCommand(const std::string& path);

// Whether a process other than the caller holds a lock on `path`: an
// flock(2), or a byte-range lock on any of its bytes.
bool LockedByAnotherProcess(const std::string& path);

class ImageHolder {
 public:
  // Starts `command` (standard streams on /dev/null) and waits until it
  // holds `path` (LockedByAnotherProcess), at most `timeout`. Throws
  // std::runtime_error, with nothing left running, when the program ends or
  // the time passes first.
  ImageHolder(const std::vector<std::string>& command, const std::string& path,
              std::chrono::seconds timeout = std::chrono::seconds{30});
  ~ImageHolder();
  ImageHolder(const ImageHolder&) = delete;
  ImageHolder& operator=(const ImageHolder&) = delete;

  // Ends the program now; its locks go with it.
  void Release();

 private:
  pid_t pid_ = -1;
};

}  // namespace testsupport
