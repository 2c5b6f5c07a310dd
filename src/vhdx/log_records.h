// The VHDX log's on-disk records: an entry's header, its 32-byte
// descriptors and its data sectors, all in a ring of 4 KiB sectors.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "encoding/little_endian.h"

namespace vhdx_inspect::detail::vhdx {

inline constexpr std::uint32_t kLogSectorSize = 4096;
inline constexpr std::uint32_t kLogDescriptorSize = 32;
// The header takes the first two descriptor slots of an entry's first sector.
inline constexpr std::uint32_t kLogHeaderSlots = 2;
inline constexpr std::uint32_t kLogSlotsPerSector = kLogSectorSize / kLogDescriptorSize;

inline constexpr std::array<std::uint8_t, 4> kLogEntrySignature{'l', 'o', 'g', 'e'};
inline constexpr std::array<std::uint8_t, 4> kZeroDescriptorSignature{'z', 'e', 'r', 'o'};
inline constexpr std::array<std::uint8_t, 4> kDataDescriptorSignature{'d', 'e', 's', 'c'};
inline constexpr std::array<std::uint8_t, 4> kDataSectorSignature{'d', 'a', 't', 'a'};

struct LOG_ENTRY_HEADER {
  std::array<std::uint8_t, 4> Signature;
  encoding::le_u32 Checksum;  // CRC-32C over EntryLength bytes, this field as zero
  encoding::le_u32 EntryLength;
  encoding::le_u32 Tail;  // the sequence's first entry, as a byte offset into the log
  encoding::le_u64 SequenceNumber;
  encoding::le_u32 DescriptorCount;
  encoding::le_u32 Reserved;
  encoding::Guid LogGuid;
  encoding::le_u64 FlushedFileOffset;
  encoding::le_u64 LastFileOffset;
};
static_assert(sizeof(LOG_ENTRY_HEADER) == std::size_t{kLogHeaderSlots} * kLogDescriptorSize);
static_assert(offsetof(LOG_ENTRY_HEADER, Checksum) == 4);
static_assert(offsetof(LOG_ENTRY_HEADER, SequenceNumber) == 16);
static_assert(offsetof(LOG_ENTRY_HEADER, LogGuid) == 32);
static_assert(offsetof(LOG_ENTRY_HEADER, LastFileOffset) == 56);

// A zero descriptor ("zero": Length is the ZeroLength) or a data descriptor
// ("desc": Length holds the sector's first 8 bytes, Trailing its last 4).
struct LOG_DESCRIPTOR {
  std::array<std::uint8_t, 4> Signature;
  encoding::le_u32 Trailing;
  encoding::le_u64 Length;
  encoding::le_u64 FileOffset;
  encoding::le_u64 SequenceNumber;
};
static_assert(sizeof(LOG_DESCRIPTOR) == kLogDescriptorSize);

// A data sector: the signature and the sequence number's high half first,
// its low half in the last 4 bytes.
struct LOG_DATA_SECTOR_HEAD {
  std::array<std::uint8_t, 4> Signature;
  encoding::le_u32 SequenceHigh;
};
inline constexpr std::size_t kDataSectorSequenceLowOffset = kLogSectorSize - 4;

}  // namespace vhdx_inspect::detail::vhdx
