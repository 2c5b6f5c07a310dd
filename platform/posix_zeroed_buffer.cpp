#include <cstdlib>

#include "platform/zeroed_buffer.h"

namespace platform {

ZeroedBuffer::ZeroedBuffer(std::size_t size)
    : data_(static_cast<std::byte*>(std::calloc(size, 1))), size_(size) {}

ZeroedBuffer::~ZeroedBuffer() { std::free(data_); }

}  // namespace platform
