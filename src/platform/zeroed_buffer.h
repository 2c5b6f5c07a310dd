// A byte buffer of fixed size from fresh, zero-filled pages, owned by one
// object and reused by it from read to read.
//
// ReadFrom overwrites the whole buffer: what the file delivers, then zeros,
// so a buffer that is filled by one read never holds an earlier read's bytes
// and never has to be cleared first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/file.h"

namespace vhdx_inspect::detail::platform {

class ZeroedBuffer {
 public:
  // Allocates `size` bytes, all zero. On failure the buffer is empty
  // (data() is null and span() has no bytes).
  explicit ZeroedBuffer(std::size_t size);
  ~ZeroedBuffer();
  ZeroedBuffer(const ZeroedBuffer&) = delete;
  ZeroedBuffer& operator=(const ZeroedBuffer&) = delete;

  std::byte* data() { return data_; }
  std::size_t size() const { return data_ ? size_ : 0; }
  std::span<std::byte> span() { return {data_, size()}; }

  // Reads size() bytes (at most 4 GiB - 1) from the current position of
  // `file` into the buffer, as File::Read does, and zero-fills the bytes the
  // read did not deliver. After a failed read the buffer is all zero.
  bool ReadFrom(File& file, std::uint32_t& bytesRead);

 private:
  std::byte* data_ = nullptr;
  std::size_t size_ = 0;
};

}  // namespace vhdx_inspect::detail::platform
