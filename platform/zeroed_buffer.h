// A zero-filled byte buffer of fixed size, owned by one object.
#pragma once

#include <cstddef>
#include <span>

namespace platform {

class ZeroedBuffer {
 public:
  // Allocates `size` bytes, all zero. On failure the buffer is empty
  // (data() is null and span() has no bytes).
  explicit ZeroedBuffer(std::size_t size);
  ~ZeroedBuffer();
  ZeroedBuffer(const ZeroedBuffer&) = delete;
  ZeroedBuffer& operator=(const ZeroedBuffer&) = delete;

  std::byte* data() { return data_; }
  const std::byte* data() const { return data_; }
  std::size_t size() const { return data_ ? size_ : 0; }
  std::span<std::byte> span() { return {data_, size()}; }
  std::span<const std::byte> span() const { return {data_, size()}; }

 private:
  std::byte* data_ = nullptr;
  std::size_t size_ = 0;
};

}  // namespace platform
