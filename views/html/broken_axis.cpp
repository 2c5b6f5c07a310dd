#include "views/html/broken_axis.h"

#include <algorithm>
#include <limits>

namespace vhdx_inspect::views::html {
namespace {

std::uint64_t EndOf(const AxisRange& range) {
  if (range.end > range.start) return range.end;
  return range.start == std::numeric_limits<std::uint64_t>::max() ? range.start : range.start + 1;
}

double Length(std::uint64_t start, std::uint64_t end) { return static_cast<double>(end - start); }

// A gap is broken only when it would be drawn this many times as wide as a
// break: a file of a few MiB whose 64 KiB structures fall just short of the
// minimum width keeps its 1 MiB gaps to scale, and its small structures are
// widened instead.
constexpr double kBreakWorth = 4;

}  // namespace

BrokenAxis::BrokenAxis(std::uint64_t end, const std::vector<AxisRange>& marks, const AxisShape& shape)
    : minWidth_(shape.minWidth) {
  std::vector<std::uint64_t> points = {0, end};
  for (const AxisRange& mark : marks) {
    points.push_back(mark.start);
    points.push_back(EndOf(mark));
  }
  std::sort(points.begin(), points.end());
  points.erase(std::unique(points.begin(), points.end()), points.end());
  end_ = points.back();
  for (std::size_t i = 0; i + 1 < points.size(); ++i) {
    const std::uint64_t start = points[i];
    const std::uint64_t pieceEnd = points[i + 1];
    const bool covered = std::any_of(marks.begin(), marks.end(), [&](const AxisRange& mark) {
      return mark.start <= start && pieceEnd <= EndOf(mark);
    });
    pieces_.push_back({start, pieceEnd, covered, false, 0, 0});
  }

  // The scale of the pieces that are neither broken nor widened: the room
  // left for them over their length, found again after each widening.
  while (true) {
    double room = shape.width;
    double length = 0;
    for (const Piece& piece : pieces_) {
      if (piece.broken) {
        room -= shape.breakWidth;
      } else {
        length += Length(piece.start, piece.end);
      }
    }
    std::vector<bool> widened(pieces_.size(), false);
    double scale = length > 0 ? std::max(room, 0.0) / length : 0;
    for (bool changed = true; changed;) {
      changed = false;
      double fixed = 0;
      double free = 0;
      for (std::size_t i = 0; i < pieces_.size(); ++i) {
        const Piece& piece = pieces_[i];
        if (piece.broken) continue;
        if (!widened[i] && piece.covered && Length(piece.start, piece.end) * scale < minWidth_) {
          widened[i] = true;
          changed = true;
        }
        if (widened[i]) {
          fixed += minWidth_;
        } else {
          free += Length(piece.start, piece.end);
        }
      }
      scale = free > 0 ? std::max(room - fixed, 0.0) / free : 0;
    }
    const bool anyWidened = std::find(widened.begin(), widened.end(), true) != widened.end();
    // The longest gap not yet broken, if breaking it gives room back: it is
    // drawn more than kBreakWorth times as wide as a break would be.
    Piece* longest = nullptr;
    for (Piece& piece : pieces_) {
      if (piece.covered || piece.broken) continue;
      if (longest == nullptr || Length(piece.start, piece.end) > Length(longest->start, longest->end)) {
        longest = &piece;
      }
    }
    if (anyWidened && longest != nullptr &&
        Length(longest->start, longest->end) * scale > kBreakWorth * shape.breakWidth) {
      longest->broken = true;
      continue;
    }
    double x = 0;
    for (std::size_t i = 0; i < pieces_.size(); ++i) {
      Piece& piece = pieces_[i];
      piece.x = x;
      if (piece.broken) {
        piece.width = shape.breakWidth;
        breaks_.push_back({x, piece.width, piece.start, piece.end});
      } else if (widened[i]) {
        piece.width = minWidth_;
        widened_ = true;
      } else {
        piece.width = Length(piece.start, piece.end) * scale;
      }
      x += piece.width;
    }
    totalWidth_ = x;
    return;
  }
}

double BrokenAxis::X(std::uint64_t position) const {
  if (pieces_.empty()) return 0;
  const auto piece = std::upper_bound(pieces_.begin(), pieces_.end(), position,
                                      [](std::uint64_t at, const Piece& p) { return at < p.end; });
  if (piece == pieces_.end()) return totalWidth_;
  if (position <= piece->start) return piece->x;
  return piece->x + piece->width * Length(piece->start, position) / Length(piece->start, piece->end);
}

double BrokenAxis::Width(const AxisRange& range) const { return std::max(X(EndOf(range)) - X(range.start), 1.0); }

}  // namespace vhdx_inspect::views::html
