// The zero-filled buffers on both backends: fresh pages for a new buffer, a
// few released buffers kept for the next owner of the same size, and the lazy
// clearing of such a buffer, which a read that fills it makes unnecessary.
//
// The reader makes two buffers (1 MiB and 2 MiB) for every image. Fresh pages
// for them would cost a page fault and a cleared page for every 4 KiB, for
// every image, several times the rest of an inspection; handed on, they cost
// nothing, and the stage reads overwrite them whole. Measured in directory
// mode (bench/README.md): 3.8 M user-space instructions per image with
// cleared buffers from the C runtime, 0.7 M with buffers handed on.
#include "platform/zeroed_buffer.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <utility>

#include "platform/zero_pages.h"

namespace platform {
namespace {

struct KeptBuffer {
  std::byte* data = nullptr;
  std::size_t size = 0;
};

// Enough for the buffers of two readers; none larger than kLargestKept, so
// that the memory held between owners stays small. The tool runs on one
// thread, which makes and releases every buffer, so the kept buffers are
// plain data with no lock.
constexpr std::size_t kLargestKept = std::size_t{8} * 1024 * 1024;
std::array<KeptBuffer, 4> kept;

std::byte* TakeKept(std::size_t size) {
  for (KeptBuffer& slot : kept) {
    if (slot.data != nullptr && slot.size == size) return std::exchange(slot.data, nullptr);
  }
  return nullptr;
}

bool Keep(std::byte* data, std::size_t size) {
  if (size > kLargestKept) return false;
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
  if (data_ == nullptr) data_ = zero_pages::Allocate(size);
}

ZeroedBuffer::~ZeroedBuffer() {
  if (data_ != nullptr && !Keep(data_, size_)) zero_pages::Release(data_, size_);
}

void ZeroedBuffer::Clear() {
  std::memset(data_, 0, size_);
  stale_ = false;
}

bool ZeroedBuffer::ReadFrom(File& file, std::uint32_t& bytesRead) {
  const auto size = static_cast<std::uint32_t>(std::min<std::size_t>(size_, std::numeric_limits<std::uint32_t>::max()));
  bytesRead = 0;
  if (data_ == nullptr) return file.Read(data_, 0, bytesRead);
  if (!file.Read(data_, size, bytesRead)) {
    bytesRead = 0;
    Clear();
    return false;
  }
  std::memset(data_ + bytesRead, 0, size_ - bytesRead);
  stale_ = false;
  return true;
}

}  // namespace platform
