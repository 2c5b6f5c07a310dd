// The arena of examined extents: a piece keeps its bytes while the arena
// grows for later ones, and a new image starts from the beginning.
#include "vhdx/piece_arena.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <vector>

namespace vhdx_inspect::detail::vhdx {
namespace {

void Fill(PieceArena& arena, std::size_t at, std::size_t size, unsigned char value) {
  std::memset(arena.At(at), value, size);
}

bool Holds(const PieceArena& arena, std::size_t at, std::size_t size, unsigned char value) {
  for (std::size_t i = 0; i < size; ++i) {
    if (arena.At(at)[i] != std::byte{value}) return false;
  }
  return true;
}

TEST(PieceArena, EarlierPiecesKeepTheirBytesAsTheArenaGrows) {
  PieceArena arena;
  const std::size_t first = arena.Allocate(100);
  Fill(arena, first, 100, 0xA1);
  const std::size_t second = arena.Allocate(300000);  // grows: the first piece moves
  Fill(arena, second, 300000, 0xB2);
  const std::size_t third = arena.Allocate(5);
  Fill(arena, third, 5, 0xC3);
  EXPECT_EQ(second, first + 100);
  EXPECT_EQ(third, second + 300000);
  EXPECT_TRUE(Holds(arena, first, 100, 0xA1));
  EXPECT_TRUE(Holds(arena, second, 300000, 0xB2));
  EXPECT_TRUE(Holds(arena, third, 5, 0xC3));
}

TEST(PieceArena, ANewImageStartsFromTheBeginning) {
  PieceArena arena;
  arena.Allocate(4096);
  const std::byte* kept = arena.At(0);
  arena.Reset();
  EXPECT_EQ(arena.Allocate(4096), 0U);
  EXPECT_EQ(arena.At(0), kept) << "the block is kept for the next image";
}

TEST(PieceArena, MoreThanItKeepsIsLetGoAtTheNextImage) {
  PieceArena arena;
  arena.Allocate(PieceArena::kKeptBytes + 1);
  arena.Reset();
  // Let go: the next piece is in a new block, sized for it.
  const std::size_t at = arena.Allocate(16);
  EXPECT_EQ(at, 0U);
  Fill(arena, at, 16, 0x5A);
  EXPECT_TRUE(Holds(arena, at, 16, 0x5A));
}

TEST(PieceArena, CompactKeepsTheLivePiecesAndTheirBytesOnly) {
  PieceArena arena;
  std::vector<PieceArena::Piece> live;
  for (unsigned char value = 1; value <= 6; ++value) {
    const std::size_t size = 1000 * value;
    const std::size_t at = arena.Allocate(size);
    Fill(arena, at, size, value);
    if (value % 2 == 0) live.push_back({value * 100000ULL, at, size});
  }
  arena.Compact(live);
  EXPECT_EQ(arena.used(), 2000U + 4000U + 6000U);
  for (const PieceArena::Piece& piece : live) {
    EXPECT_TRUE(Holds(arena, piece.at, piece.size, static_cast<unsigned char>(piece.size / 1000))) << piece.size;
  }
}

TEST(PieceArena, AListComesBackEmptyWithItsRoom) {
  PieceArena arena;
  std::vector<PieceArena::Piece> list = arena.TakeList();
  list.resize(3);
  const std::size_t room = list.capacity();
  arena.GiveList(list);
  const std::vector<PieceArena::Piece> again = arena.TakeList();
  EXPECT_TRUE(again.empty());
  EXPECT_EQ(again.capacity(), room);
}

}  // namespace
}  // namespace vhdx_inspect::detail::vhdx
