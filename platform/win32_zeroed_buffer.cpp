#include <windows.h>

#include "platform/zeroed_buffer.h"

namespace platform {

ZeroedBuffer::ZeroedBuffer(std::size_t size)
    : data_(static_cast<std::byte*>(
          ::VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE))),
      size_(size) {}

ZeroedBuffer::~ZeroedBuffer() {
  if (data_ != nullptr) ::VirtualFree(data_, 0, MEM_RELEASE);
}

}  // namespace platform
