#include "common/platform/room_in_pipe.h"

#include <climits>

#ifdef __linux__
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <thread>
#endif

#include "common/platform/run_control.h"

namespace vhdx_programs {

#ifdef __linux__
namespace {

// A pipe holds its bytes in a fixed number of pages (16 of 4 KiB by
// default), and the room is counted in pages, not bytes: a write longer than
// a page fills whole pages and puts its last part in a page of its own,
// unless it fits after the last write's, so a run of lines of 4,330 bytes
// fills the 16 pages with only 47,586 bytes (measured on Linux 6.1). The
// system tells only the bytes waiting (FIONREAD), so the pages are reckoned
// at two for every page of bytes, waiting or to be written, which such
// writes never exceed.
constexpr std::size_t kPage = 4096;

bool IsPipe(int descriptor) {
  struct stat status {};
  return ::fstat(descriptor, &status) == 0 && S_ISFIFO(status.st_mode);
}

}  // namespace

bool WaitForRoomInStandardOutput(std::size_t bytes) {
  const int descriptor = STDOUT_FILENO;
  // Standard output stays what it is for the whole run: asked once, not a
  // system call for every line.
  static const bool pipe = IsPipe(descriptor);
  if (bytes <= PIPE_BUF || !pipe) return true;
  // A reader that keeps up makes room within microseconds: the first pauses
  // are short (waiting a millisecond made a scan into `cat` 15 % slower);
  // one that takes its time (a pager waiting for a key) is asked every 5 ms.
  std::chrono::microseconds pause{20};
  for (;;) {
    if (InterruptRequested()) return false;
    const int capacity = ::fcntl(descriptor, F_GETPIPE_SZ);
    int queued = 0;
    if (capacity < 0 || ::ioctl(descriptor, FIONREAD, &queued) != 0 || queued < 0) return true;
    const auto size = static_cast<std::size_t>(capacity);
    if (2 * (bytes + kPage) > size) return true;
    if (2 * (static_cast<std::size_t>(queued) + bytes + kPage) <= size) return true;
    std::this_thread::sleep_for(pause);
    pause = std::min(2 * pause, std::chrono::microseconds{5000});
  }
}
#else
bool WaitForRoomInStandardOutput(std::size_t) { return true; }
#endif

}  // namespace vhdx_programs
