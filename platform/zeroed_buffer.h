// A zero-filled byte buffer of fixed size, owned by one object.
//
// Every byte reads as zero until its owner writes it. A released buffer is
// handed to the next owner of the same size instead of asking the
// system for fresh pages (a page fault and a cleared page for every 4 KiB of
// every buffer, for every image). Such a buffer still holds its last owner's
// bytes and is cleared lazily: ReadFrom overwrites it with what a file
// delivers and zero-fills the rest, so a buffer that is filled by one read
// never has to be cleared first; any other access clears it first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/file.h"

namespace platform {

class ZeroedBuffer {
 public:
  // Allocates `size` bytes, all zero. On failure the buffer is empty
  // (data() is null and span() has no bytes).
  explicit ZeroedBuffer(std::size_t size);
  ~ZeroedBuffer();
  ZeroedBuffer(const ZeroedBuffer&) = delete;
  ZeroedBuffer& operator=(const ZeroedBuffer&) = delete;

  // The bytes, cleared first when they are still an earlier owner's; so
  // there are no const accessors.
  std::byte* data() { return Cleared(); }
  std::size_t size() const { return data_ ? size_ : 0; }
  std::span<std::byte> span() { return {Cleared(), size()}; }

  // Reads size() bytes (at most 4 GiB - 1) from the current position of
  // `file` into the buffer, as File::Read does, and zero-fills the bytes the
  // read did not deliver. After a failed read the buffer is all zero.
  bool ReadFrom(File& file, std::uint32_t& bytesRead);

 private:
  std::byte* Cleared() {
    if (stale_) Clear();
    return data_;
  }
  void Clear();

  std::byte* data_ = nullptr;
  std::size_t size_ = 0;
  // The bytes are still an earlier owner's; they read as zero all the same.
  bool stale_ = false;
};

}  // namespace platform
