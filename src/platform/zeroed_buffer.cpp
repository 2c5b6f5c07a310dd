// The zero-filled buffers on both backends: fresh pages, released when the
// owner goes. The inspector that owns them keeps them from image to image,
// so a folder scan asks the system for them once.
#include "platform/zeroed_buffer.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "platform/zero_pages.h"

namespace vhdx_inspect::detail::platform {

ZeroedBuffer::ZeroedBuffer(std::size_t size) : data_(zero_pages::Allocate(size)), size_(size) {}

ZeroedBuffer::~ZeroedBuffer() {
  if (data_ != nullptr) zero_pages::Release(data_, size_);
}

bool ZeroedBuffer::ReadFrom(File& file, std::uint32_t& bytesRead) {
  const auto size = static_cast<std::uint32_t>(std::min<std::size_t>(size_, std::numeric_limits<std::uint32_t>::max()));
  bytesRead = 0;
  if (data_ == nullptr) return file.Read(data_, 0, bytesRead);
  if (!file.Read(data_, size, bytesRead)) {
    bytesRead = 0;
    std::memset(data_, 0, size_);
    return false;
  }
  std::memset(data_ + bytesRead, 0, size_ - bytesRead);
  return true;
}

}  // namespace vhdx_inspect::detail::platform
