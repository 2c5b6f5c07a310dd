#include "vhdx/piece_arena.h"

#include <algorithm>
#include <cstring>

namespace vhdx {

void PieceArena::Grow(std::size_t size) {
  const std::size_t capacity = std::max(used_ + size, 2 * capacity_);
  auto bytes = std::make_unique_for_overwrite<std::byte[]>(capacity);
  if (used_ != 0) std::memcpy(bytes.get(), bytes_.get(), used_);
  bytes_ = std::move(bytes);
  capacity_ = capacity;
}

void PieceArena::Reset() noexcept {
  used_ = 0;
  if (capacity_ > kKeptBytes) {
    bytes_.reset();
    capacity_ = 0;
  }
}

}  // namespace vhdx
