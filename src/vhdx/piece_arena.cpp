#include "vhdx/piece_arena.h"

#include <algorithm>
#include <cstring>

namespace vhdx {

std::size_t PieceArena::Allocate(std::size_t size) {
  if (size > capacity_ - used_) {
    const std::size_t capacity = std::max(used_ + size, 2 * capacity_);
    auto bytes = std::make_unique_for_overwrite<std::byte[]>(capacity);
    if (used_ != 0) std::memcpy(bytes.get(), bytes_.get(), used_);
    bytes_ = std::move(bytes);
    capacity_ = capacity;
  }
  const std::size_t at = used_;
  used_ += size;
  return at;
}

void PieceArena::Reset() noexcept {
  used_ = 0;
  if (capacity_ > kKeptBytes) {
    bytes_.reset();
    capacity_ = 0;
  }
}

void PieceArena::GiveList(std::vector<Piece>& list) noexcept {
  list.clear();
  if (list.capacity() > list_.capacity()) list_ = std::move(list);
}

}  // namespace vhdx
