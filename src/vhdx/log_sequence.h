// The log's active sequence, found as the VHDX format describes it, without
// replaying anything: every 4 KiB sector that starts a valid entry begins a
// run of entries whose sequence numbers rise by one; a run is a sequence
// when its last entry (the head) names as its tail the start of an entry of
// the run; the active sequence is the one with the highest head.
//
// An entry is valid when its header says "loge", lies in the log, carries
// the header's LogGuid and a sequence number above 0, its descriptors say
// "zero" or "desc" with the entry's sequence number, each data descriptor
// has its data sector ("data", the sequence number split around it), its
// length is exactly its descriptor and data sectors, and its CRC-32C holds.
// Because every sector of a valid entry after its first starts with a
// descriptor or a data sector, never with "loge", the scan visits each
// sector a bounded number of times: a log of N sectors costs O(N) sector
// reads and checksums, whatever its bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "encoding/little_endian.h"
#include "vhdx/log_records.h"

namespace vhdx_inspect::detail::vhdx {

// The log's sectors by index, as the scan asks for them.
class LogSectors {
 public:
  virtual ~LogSectors() = default;
  virtual std::uint64_t count() const = 0;
  // The sector at `index` (below count()), or nothing when it cannot be read.
  virtual std::optional<std::span<const std::byte, kLogSectorSize>> Sector(std::uint64_t index) = 0;
};

// What a replay of the active sequence would apply.
struct ActiveSequence {
  std::uint64_t entries = 0;
  std::uint64_t first_sequence = 0;
  std::uint64_t last_sequence = 0;
  std::uint64_t tail_offset = 0;  // bytes into the log
  std::uint64_t head_offset = 0;
  std::uint64_t data_sectors = 0;  // 4 KiB sectors a replay writes
  std::uint64_t zero_ranges = 0;   // ranges a replay zeroes
  std::uint64_t zeroed_bytes = 0;
  // The end of the furthest byte a replay writes or zeroes.
  std::uint64_t highest_write_end = 0;
  // From the head entry.
  std::uint64_t flushed_file_offset = 0;
  std::uint64_t last_file_offset = 0;
};

struct LogScan {
  std::optional<ActiveSequence> active;
  // A sector could not be read: the scan stopped there, and `active` is
  // empty.
  std::optional<std::uint64_t> unread_sector;
};

LogScan FindActiveSequence(LogSectors& log, const encoding::Guid& logGuid);

}  // namespace vhdx_inspect::detail::vhdx
