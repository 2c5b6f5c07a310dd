#include "vhdx/file_log_sectors.h"

#include <algorithm>

namespace vhdx_inspect::detail::vhdx {

FileLogSectors::FileLogSectors(platform::File& file, std::uint64_t offset, std::uint32_t length)
    : file_(file), offset_(offset), length_(length) {}

std::optional<std::span<const std::byte, kLogSectorSize>> FileLogSectors::Sector(std::uint64_t index) {
  if (index >= count()) return std::nullopt;
  if (index < windowFirst_ || index - windowFirst_ >= windowCount_) {
    const std::uint64_t sectors = std::min<std::uint64_t>(count() - index, kLogWindowBytes / kLogSectorSize);
    const auto want = static_cast<std::uint32_t>(sectors * kLogSectorSize);
    if (window_.size() < want) window_.resize(std::min<std::size_t>(kLogWindowBytes, length_));
    windowCount_ = 0;
    const std::uint64_t at = offset_ + index * kLogSectorSize;
    std::uint32_t got = 0;
    bool read = file_.Seek(at);
    while (read && got < want) {
      std::uint32_t now = 0;
      read = file_.Read(window_.data() + got, want - got, now);
      if (now == 0) break;
      got += now;
    }
    if (!read || got < want) {
      failedOffset_ = at;
      if (!read) failedStatus_ = file_.LastError();
      return std::nullopt;
    }
    windowFirst_ = index;
    windowCount_ = sectors;
  }
  const std::size_t at = static_cast<std::size_t>((index - windowFirst_) * kLogSectorSize);
  return std::span<const std::byte, kLogSectorSize>(window_.data() + at, kLogSectorSize);
}

}  // namespace vhdx_inspect::detail::vhdx
