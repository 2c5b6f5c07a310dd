// The sizes that the plugin metadata may give the partition-table area and
// the GPT trailer before they are read into memory.
#pragma once

#include <cstdint>

#include "partition/gpt_records.h"
#include "partition/mbr_records.h"

namespace vhdx_inspect::detail::inspect {

// No sound image comes near this; it bounds what one image can make the tool
// allocate, and keeps every read count within 32 bits.
inline constexpr std::int64_t kMaxPartitionAreaSize = std::int64_t{64} * 1024 * 1024;

// The MBR, the primary header one sector in and the primary entries two
// sectors in.
constexpr std::int64_t MinPartitionTableAreaSize(std::uint32_t sectorSize) {
  const std::int64_t gptEnd = 2 * std::int64_t{sectorSize} + std::int64_t{partition::kGptEntryArraySize};
  return gptEnd > std::int64_t{partition::kMbrSize} ? gptEnd : std::int64_t{partition::kMbrSize};
}

// The backup entries, then the backup header right after them.
inline constexpr std::int64_t kBackupHeaderOffset = partition::kGptEntryArraySize;
inline constexpr std::int64_t kMinGptTrailerLength = kBackupHeaderOffset + partition::kEfiHeaderSize;

}  // namespace vhdx_inspect::detail::inspect
