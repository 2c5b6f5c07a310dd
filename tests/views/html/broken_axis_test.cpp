// The map's axis: to scale when every structure is wide enough at one scale;
// otherwise long empty stretches broken and small structures widened, and
// what lies past the end still on the axis.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "views/html/broken_axis.h"

namespace {

using vhdx_inspect::views::html::AxisRange;
using vhdx_inspect::views::html::AxisShape;
using vhdx_inspect::views::html::BrokenAxis;

constexpr std::uint64_t kMiB = 1024 * 1024;
constexpr AxisShape kShape{800, 6, 56};

TEST(BrokenAxis, IsToScaleWhenEveryStructureIsWideEnough) {
  const BrokenAxis axis(1000, {{0, 100}, {500, 1000}}, kShape);
  EXPECT_TRUE(axis.ToScale());
  EXPECT_TRUE(axis.Breaks().empty());
  EXPECT_DOUBLE_EQ(axis.TotalWidth(), 800);
  EXPECT_DOUBLE_EQ(axis.X(100), 80);
  EXPECT_DOUBLE_EQ(axis.X(500), 400);
  EXPECT_DOUBLE_EQ(axis.X(1000), 800);
}

TEST(BrokenAxis, BreaksLongGapsSoThatTinyStructuresInAHugeFileStayVisible) {
  // 512 bytes at the start and at the middle of a 1 TiB file.
  const std::uint64_t end = kMiB * kMiB;
  const std::vector<AxisRange> marks = {{0, 512}, {end / 2, end / 2 + 512}};
  const BrokenAxis axis(end, marks, kShape);
  EXPECT_FALSE(axis.ToScale());
  ASSERT_FALSE(axis.Breaks().empty());
  for (const AxisRange& mark : marks) EXPECT_GE(axis.Width(mark), 6.0) << mark.start;
  for (const auto& gap : axis.Breaks()) {
    EXPECT_DOUBLE_EQ(gap.width, 56);
    // A break never hides a structure.
    for (const AxisRange& mark : marks) EXPECT_TRUE(mark.end <= gap.start || mark.start >= gap.end);
  }
  EXPECT_LE(axis.TotalWidth(), 800.0 + 1e-9);
}

TEST(BrokenAxis, KeepsOneScaleForWhatIsNotBroken) {
  // Two structures of 1 MiB and 2 MiB around a gap of 100 GiB: the second
  // stays twice as wide as the first.
  const std::uint64_t far = 100 * 1024 * kMiB;
  const BrokenAxis axis(far + 3 * kMiB, {{0, kMiB}, {far + kMiB, far + 3 * kMiB}}, kShape);
  ASSERT_EQ(axis.Breaks().size(), 1u);
  EXPECT_NEAR(axis.Width({far + kMiB, far + 3 * kMiB}), 2 * axis.Width({0, kMiB}), 1e-6);
}

TEST(BrokenAxis, ReachesAStructurePastTheEnd) {
  const BrokenAxis axis(6 * kMiB, {{0, kMiB}, {40 * kMiB, 41 * kMiB}}, kShape);
  EXPECT_EQ(axis.End(), 41 * kMiB);
  EXPECT_LT(axis.X(6 * kMiB), axis.X(40 * kMiB));
  EXPECT_DOUBLE_EQ(axis.X(41 * kMiB), axis.TotalWidth());
}

TEST(BrokenAxis, DrawsAnEmptyRangeAndTheLastOffset) {
  const std::uint64_t last = UINT64_MAX;
  const BrokenAxis axis(1000, {{500, 500}, {last, last}}, kShape);
  EXPECT_GE(axis.Width({500, 500}), 6.0);
  EXPECT_EQ(axis.End(), last);
  EXPECT_LE(axis.X(500), axis.X(last));
}

TEST(BrokenAxis, IsMonotonic) {
  const BrokenAxis axis(10 * kMiB, {{0, 4096}, {3 * kMiB, 4 * kMiB}, {9 * kMiB, 9 * kMiB + 1}}, kShape);
  double previous = -1;
  for (std::uint64_t at = 0; at <= 10 * kMiB; at += 65536) {
    EXPECT_GE(axis.X(at), previous) << at;
    previous = axis.X(at);
  }
}

}  // namespace
