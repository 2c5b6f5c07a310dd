// POSIX backend of the zero-filled buffers: calloc for a new buffer, and a few
// released buffers kept for the next owner of the same size. The reader makes
// two buffers (1 MiB and 2 MiB) for every image; handed on, they cost no page
// faults, and they are cleared only where a read does not overwrite them.
#include <array>
#include <cstdlib>
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
  if (size == 0 || size > kLargestKept) return false;
  const std::lock_guard lock(keptMutex);
  for (KeptBuffer& slot : kept) {
    if (slot.data == nullptr) {
      slot = {data, size};
      return true;
    }
  }
  return false;
}

}  // namespace

ZeroedBuffer::ZeroedBuffer(std::size_t size) : data_(TakeKept(size)), size_(size), stale_(data_ != nullptr) {
  if (data_ == nullptr) data_ = static_cast<std::byte*>(std::calloc(size, 1));
}

ZeroedBuffer::~ZeroedBuffer() {
  if (data_ != nullptr && !Keep(data_, size_)) std::free(data_);
}

}  // namespace platform
