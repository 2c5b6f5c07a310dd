#include "vhdx/region_window.h"

#include <algorithm>
#include <cstring>

namespace vhdx_inspect::detail::vhdx {

RegionWindow::RegionWindow(platform::File& file, std::uint64_t origin, std::uint32_t size, RegionChecks checks,
                           platform::ZeroedBuffer* buffer, std::uint64_t fileSize, bool positioned, PieceArena* arena)
    : file_(&file),
      origin_(origin),
      size_(size),
      checks_(checks),
      whole_(buffer),
      fileSize_(fileSize),
      position_(positioned ? std::optional<std::uint64_t>(origin) : std::nullopt),
      started_(positioned),
      arena_(arena) {
  if (arena_ != nullptr) pieces_ = arena_->TakeList();
}

RegionWindow::~RegionWindow() {
  if (arena_ != nullptr) arena_->GiveList(pieces_);
}

RegionWindow RegionWindow::WholeRegion(platform::File& file, std::uint64_t origin, std::uint32_t size,
                                       RegionChecks checks, platform::ZeroedBuffer& buffer, bool positioned) {
  return RegionWindow(file, origin, size, checks, &buffer, 0, positioned, nullptr);
}

RegionWindow RegionWindow::ExaminedExtents(platform::File& file, std::uint64_t origin, std::uint32_t size,
                                           RegionChecks checks, std::uint64_t fileSize, bool positioned,
                                           PieceArena& arena) {
  return RegionWindow(file, origin, size, checks, nullptr, fileSize, positioned, &arena);
}

StageResult RegionWindow::StartNow() {
  started_ = true;
  if (!file_->Seek(origin_)) return FailedWithStatus(checks_.seek, file_->LastError());
  position_ = origin_;
  return std::nullopt;
}

StageResult RegionWindow::ReadWhole() {
  if (wholeRead_) return std::nullopt;
  if (StageResult failed = Start()) return failed;
  wholeRead_ = true;
  // The buffer is empty when it could not be allocated: nothing is read then.
  if (whole_->size() != size_) return OutOfMemory(size_);
  ++requests_;
  if (!whole_->ReadFrom(*file_, wholeHeld_)) return FailedWithStatus(checks_.read, file_->LastError());
  return std::nullopt;
}

StageResult RegionWindow::Held(std::uint32_t& held) {
  if (whole_ != nullptr) {
    held = 0;
    if (StageResult failed = ReadWhole()) return failed;
    held = wholeHeld_;
    return std::nullopt;
  }
  const std::uint64_t inFile = fileSize_ > origin_ ? fileSize_ - origin_ : 0;
  held = static_cast<std::uint32_t>(std::min<std::uint64_t>(inFile, size_));
  return std::nullopt;
}

StageResult RegionWindow::ReadRange(std::uint64_t offset, std::span<std::byte> into) {
  // The start lies inside the file, so no position below overflows.
  const std::uint64_t inFile = fileSize_ > origin_ ? fileSize_ - origin_ : 0;
  const std::uint64_t wanted = offset < inFile ? std::min<std::uint64_t>(into.size(), inFile - offset) : 0;
  std::uint32_t got = 0;
  if (wanted != 0) {
    const std::uint64_t position = origin_ + offset;
    if (position_ != position && !file_->Seek(position)) {
      position_.reset();
      return FailedWithStatus(checks_.seek, file_->LastError());
    }
    ++requests_;
    if (!file_->Read(into.data(), static_cast<std::uint32_t>(wanted), got)) {
      position_.reset();
      return FailedWithStatus(checks_.read, file_->LastError());
    }
    position_ = position + got;
  }
  if (got < into.size()) std::fill(into.begin() + got, into.end(), std::byte{0});
  return std::nullopt;
}

StageResult RegionWindow::Gather(std::uint64_t begin, std::uint64_t end, std::size_t& index) {
  // The bytes of pieces that joined others, and of other windows, go.
  if (arena_->used() > PieceArena::kCompactAbove) arena_->Compact(pieces_);
  // Past every piece, apart from them (the stages ask in order, as a rule):
  // a new last piece.
  if (pieces_.empty() || pieces_.back().end() < begin) {
    const auto size = static_cast<std::size_t>(end - begin);
    const Piece piece{begin, arena_->Allocate(size), size};
    if (StageResult failed = ReadRange(begin, std::span<std::byte>(arena_->At(piece.at), size))) return failed;
    pieces_.push_back(piece);
    index = pieces_.size() - 1;
    return std::nullopt;
  }
  // The pieces that overlap or touch [begin, end) join the new one.
  auto first = std::find_if(pieces_.begin(), pieces_.end(), [&](const Piece& p) { return p.end() >= begin; });
  auto last = std::find_if(first, pieces_.end(), [&](const Piece& p) { return p.offset > end; });
  if (first != last) {
    begin = std::min(begin, first->offset);
    end = std::max(end, std::prev(last)->end());
  }
  const auto size = static_cast<std::size_t>(end - begin);
  Piece joined{begin, arena_->Allocate(size), size};
  std::uint64_t cursor = begin;
  for (auto it = first; it != last; ++it) {
    if (it->offset > cursor) {
      const std::span<std::byte> gap(arena_->At(joined.at) + (cursor - begin),
                                     static_cast<std::size_t>(it->offset - cursor));
      if (StageResult failed = ReadRange(cursor, gap)) return failed;
    }
    std::memcpy(arena_->At(joined.at) + (it->offset - begin), arena_->At(it->at), it->size);
    cursor = it->end();
  }
  if (cursor < end) {
    const std::span<std::byte> gap(arena_->At(joined.at) + (cursor - begin), static_cast<std::size_t>(end - cursor));
    if (StageResult failed = ReadRange(cursor, gap)) return failed;
  }
  const auto at = pieces_.erase(first, last);
  const auto inserted = pieces_.insert(at, joined);
  index = static_cast<std::size_t>(inserted - pieces_.begin());
  return std::nullopt;
}

StageResult RegionWindow::Expect(std::span<const Extent> extents) {
  if (whole_ != nullptr) return ReadWhole();
  std::uint64_t begin = size_;
  std::uint64_t end = 0;
  for (const Extent& extent : extents) {
    if (extent.offset >= size_ || extent.length == 0) continue;
    begin = std::min(begin, extent.offset);
    end = std::max(end, extent.offset + std::min<std::uint64_t>(extent.length, size_ - extent.offset));
  }
  if (begin >= end) return std::nullopt;
  if (StageResult failed = Start()) return failed;
  // Only the stretches that no piece holds yet are read.
  return Gather(begin, end, last_);
}

StageResult RegionWindow::FetchAnew(Extent extent, std::span<std::byte>& bytes) {
  if (whole_ != nullptr) {
    if (StageResult failed = ReadWhole()) return failed;
    bytes = whole_->span().subspan(static_cast<std::size_t>(extent.offset), static_cast<std::size_t>(extent.length));
    return std::nullopt;
  }
  if (StageResult failed = Start()) return failed;
  const std::uint64_t end = extent.offset + extent.length;
  const auto held = std::find_if(pieces_.begin(), pieces_.end(),
                                 [&](const Piece& p) { return p.offset <= extent.offset && end <= p.end(); });
  last_ = static_cast<std::size_t>(held - pieces_.begin());
  if (held == pieces_.end()) {
    if (StageResult failed = Gather(extent.offset, end, last_)) return failed;
  }
  Piece& piece = pieces_[last_];
  bytes = std::span<std::byte>(arena_->At(piece.at), piece.size)
              .subspan(static_cast<std::size_t>(extent.offset - piece.offset), static_cast<std::size_t>(extent.length));
  return std::nullopt;
}

}  // namespace vhdx_inspect::detail::vhdx
