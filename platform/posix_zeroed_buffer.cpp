// POSIX backend of the zero-filled buffers: fresh anonymous pages for a new
// buffer, and a few released buffers kept for the next owner of the same
// size. The reader makes two buffers (1 MiB and 2 MiB) for every image; handed
// on, they cost no page faults, and they are cleared only where a read does
// not overwrite them. Page-aligned, they also take the system's copy of file
// data at its best speed (a buffer 16 bytes past a page boundary, as malloc
// places a large block, takes it about a fifth slower on some processors).
#include <sys/mman.h>

#include <array>
#include <mutex>
#include <utility>

#include "platform/zeroed_buffer.h"

namespace platform {
namespace {

struct KeptBuffer {
  std::byte* data = nullptr;
  std::size_t size = 0;
};

// Enough for the buffers of two readers; none larger than kLargestKept, so
// that the memory held between owners stays small.
constexpr std::size_t kLargestKept = 8 * 1024 * 1024;
std::mutex keptMutex;
std::array<KeptBuffer, 4> kept;

std::byte* TakeKept(std::size_t size) {
  const std::lock_guard lock(keptMutex);
  for (KeptBuffer& slot : kept) {
    if (slot.data != nullptr && slot.size == size) return std::exchange(slot.data, nullptr);
  }
  return nullptr;
}

bool Keep(std::byte* data, std::size_t size) {
  if (size > kLargestKept) return false;
  const std::lock_guard lock(keptMutex);
  for (KeptBuffer& slot : kept) {
    if (slot.data == nullptr) {
      slot = {data, size};
      return true;
    }
  }
  return false;
}

// Fresh pages, all zero, or null.
std::byte* MapZeroPages(std::size_t size) {
  if (size == 0) return nullptr;
  void* pages = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  return pages == MAP_FAILED ? nullptr : static_cast<std::byte*>(pages);
}

}  // namespace

ZeroedBuffer::ZeroedBuffer(std::size_t size) : data_(TakeKept(size)), size_(size), stale_(data_ != nullptr) {
  if (data_ == nullptr) data_ = MapZeroPages(size);
}

ZeroedBuffer::~ZeroedBuffer() {
  if (data_ != nullptr && !Keep(data_, size_)) ::munmap(data_, size_);
}

}  // namespace platform
