#include "vhdx/piece_arena.h"

#include <algorithm>
#include <cstring>

namespace vhdx_inspect::detail::vhdx {

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

void PieceArena::Compact(std::vector<Piece>& live) {
  std::size_t bytes = 0;
  for (const Piece& piece : live) bytes += piece.size;
  const std::size_t capacity = std::max<std::size_t>(2 * bytes, 1);
  auto block = std::make_unique_for_overwrite<std::byte[]>(capacity);
  std::size_t at = 0;
  for (Piece& piece : live) {
    std::memcpy(block.get() + at, At(piece.at), piece.size);
    piece.at = at;
    at += piece.size;
  }
  bytes_ = std::move(block);
  capacity_ = capacity;
  used_ = at;
}

}  // namespace vhdx_inspect::detail::vhdx
