// Memory for the pieces of examined extents (region_window.h), kept from
// image to image by an inspector. Pieces are cut one after another from one
// block, which an image's inspection starts again from the beginning
// (Reset), so the pieces of the next image are neither allocated nor freed.
// Allocating and freeing them for each image had cost 2,300 instructions an
// image more than reading whole regions into kept buffers (callgrind); a
// store of blocks taken and given back still cost 700.
//
// The block grows as an image needs (the sample shape: 640 KiB after the
// first image); more than kKeptBytes is let go when the next image starts,
// so a damaged image that made many or large pieces leaves no more behind.
// Pieces that join a new one leave their bytes behind in the arena; once
// more than kCompactAbove is used, the region window moves its live pieces
// to a new block (Compact), so that a damaged image whose ranges keep
// joining (many records, each touching the last) holds a few MiB at most,
// not the sum of every joined piece.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace vhdx_inspect::detail::vhdx {

class PieceArena {
 public:
  // Bytes [offset, offset + size) of a region, at `at` in the arena.
  struct Piece {
    std::uint64_t offset = 0;
    std::size_t at = 0;
    std::size_t size = 0;
    std::uint64_t end() const { return offset + size; }
  };

  static constexpr std::size_t kKeptBytes = std::size_t{1} << 20;
  // Larger than a sound image ever uses: the header section's 1 MiB and the
  // metadata region's 2 MiB, and room to spare.
  static constexpr std::size_t kCompactAbove = std::size_t{4} << 20;

  // Room for `size` more bytes, not cleared; returns where it starts. The
  // bytes of earlier pieces may move (they keep their place `at`); throws
  // std::bad_alloc when there is no memory.
  std::size_t Allocate(std::size_t size) {
    if (size > capacity_ - used_) Grow(size);
    const std::size_t at = used_;
    used_ += size;
    return at;
  }

  std::byte* At(std::size_t at) const { return bytes_.get() + at; }

  // A new image: every piece is free again.
  void Reset() noexcept;

  std::size_t used() const { return used_; }

  // Moves the pieces of `live` to a new block, one after another, and frees
  // the old one with every other piece in it; their places `at` change.
  void Compact(std::vector<Piece>& live);

  // A list for a region's pieces, empty, with the room of the last one
  // given back, and the giving back.
  std::vector<Piece> TakeList() noexcept { return std::move(list_); }
  void GiveList(std::vector<Piece>& list) noexcept {
    list.clear();
    if (list.capacity() > list_.capacity()) list_ = std::move(list);
  }

 private:
  // Makes room for `size` more bytes after those used.
  void Grow(std::size_t size);

  std::unique_ptr<std::byte[]> bytes_;
  std::size_t capacity_ = 0;
  std::size_t used_ = 0;
  std::vector<Piece> list_;
};

}  // namespace vhdx_inspect::detail::vhdx
