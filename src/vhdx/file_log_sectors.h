// The log's sectors read from the file, a window of at most kLogWindowBytes
// at a time: the scan reads the log forward, so a 1 MiB log (the size
// writers use) is one read, and a larger one is read in order, a window at a
// time, with memory bounded whatever the log's length.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "platform/file.h"
#include "vhdx/log_sequence.h"

namespace vhdx_inspect::detail::vhdx {

inline constexpr std::uint32_t kLogWindowBytes = 1048576;

class FileLogSectors final : public LogSectors {
 public:
  // The log at `offset` with `length` bytes, which the caller has checked
  // to lie inside the file.
  FileLogSectors(platform::File& file, std::uint64_t offset, std::uint32_t length);

  std::uint64_t count() const override { return length_ / kLogSectorSize; }
  std::optional<std::span<const std::byte, kLogSectorSize>> Sector(std::uint64_t index) override;

  // When a read failed: the file offset it began at, and the system's status
  // (none when the file ended early).
  std::uint64_t failed_offset() const { return failedOffset_; }
  std::optional<platform::ErrorCode> failed_status() const { return failedStatus_; }

 private:
  platform::File& file_;
  std::uint64_t offset_;
  std::uint32_t length_;
  std::vector<std::byte> window_;
  std::uint64_t windowFirst_ = 0;  // the first sector the window holds
  std::uint64_t windowCount_ = 0;
  std::uint64_t failedOffset_ = 0;
  std::optional<platform::ErrorCode> failedStatus_;
};

}  // namespace vhdx_inspect::detail::vhdx
