// What both backends share: the lazy clearing of a buffer that still holds an
// earlier owner's bytes, and the read that makes clearing unnecessary.
#include <algorithm>
#include <cstring>
#include <limits>

#include "platform/zeroed_buffer.h"

namespace platform {

void ZeroedBuffer::Clear() const {
  std::memset(data_, 0, size_);
  stale_ = false;
}

bool ZeroedBuffer::ReadFrom(File& file, std::uint32_t& bytesRead) {
  const auto size = static_cast<std::uint32_t>(std::min<std::size_t>(size_, std::numeric_limits<std::uint32_t>::max()));
  bytesRead = 0;
  if (data_ == nullptr) return file.Read(data_, 0, bytesRead);
  if (!file.Read(data_, size, bytesRead)) {
    bytesRead = 0;
    std::memset(data_, 0, size_);
    stale_ = false;
    return false;
  }
  std::memset(data_ + bytesRead, 0, size_ - bytesRead);
  stale_ = false;
  return true;
}

}  // namespace platform
