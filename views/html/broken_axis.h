// The horizontal axis of a map: positions from 0 to an end (bytes of a file
// or of a virtual disk) onto pixels, to scale where it can be, broken where
// it must be so that every structure stays visible.
//
// The marks (the structures drawn) cut the axis into pieces: a piece that a
// mark covers, and a gap that none does. When one linear scale gives every
// covered piece at least the minimum width, that scale is the axis: the map
// is to scale. Otherwise the longest gap is broken (drawn at a fixed width,
// with a break sign and its length as a label) and the scale tried again,
// until it suffices or no gap is left that would be drawn at least four
// times as wide as a break; then the covered pieces that are still too
// narrow get the minimum width. The pieces that are not broken
// share one scale, so that lengths compare truthfully between them, and the
// label of every mark gives its exact offset and length.
#pragma once

#include <cstdint>
#include <vector>

namespace vhdx_inspect::views::html {

// A range on the axis, [start, end); an empty range is taken as one unit
// long, so that it is still drawn.
struct AxisRange {
  std::uint64_t start = 0;
  std::uint64_t end = 0;
};

// A broken gap: where it is drawn and what it leaves out.
struct AxisBreak {
  double x = 0;
  double width = 0;
  std::uint64_t start = 0;
  std::uint64_t end = 0;
};

struct AxisShape {
  double width = 800;      // pixels for the whole axis (more when the marks need it)
  double minWidth = 6;     // pixels a covered piece gets at least
  double breakWidth = 56;  // pixels of a broken gap
};

class BrokenAxis {
 public:
  // The axis from 0 to `end` (the end of the furthest mark, when that is
  // further), keeping `marks` visible.
  BrokenAxis(std::uint64_t end, const std::vector<AxisRange>& marks, const AxisShape& shape = {});

  // The pixel of `position` (clamped to the axis).
  double X(std::uint64_t position) const;
  // The pixels of a mark, at least the minimum width (as it was laid out).
  double Width(const AxisRange& range) const;
  std::uint64_t End() const { return end_; }
  double TotalWidth() const { return totalWidth_; }
  const std::vector<AxisBreak>& Breaks() const { return breaks_; }
  // True when no piece was broken or widened: every length is to scale.
  bool ToScale() const { return breaks_.empty() && !widened_; }
  // True when a structure was drawn wider than its length at the scale.
  bool Widened() const { return widened_; }

 private:
  struct Piece {
    std::uint64_t start;
    std::uint64_t end;
    bool covered;
    bool broken;
    double x;
    double width;
  };
  std::vector<Piece> pieces_;
  std::vector<AxisBreak> breaks_;
  std::uint64_t end_ = 0;
  double totalWidth_ = 0;
  double minWidth_ = 0;
  bool widened_ = false;
};

}  // namespace vhdx_inspect::views::html
