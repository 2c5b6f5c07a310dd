// The master boot record sector at the start of the partition-table area.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "encoding/little_endian.h"

namespace vhdx_inspect::detail::partition {

inline constexpr std::size_t kMbrSize = 512;

struct MBR_PARTITION {
  std::uint8_t Status;  // bit 7: bootable
  std::uint8_t StartHead;
  std::uint8_t StartSectorCylinderHigh;  // bits 0-5 sector, bits 6-7 cylinder bits 8-9
  std::uint8_t StartCylinderLow;
  std::uint8_t Type;
  std::uint8_t EndHead;
  std::uint8_t EndSectorCylinderHigh;
  std::uint8_t EndCylinderLow;
  encoding::le_u32 SectorOffset;
  encoding::le_u32 SectorCount;
};
static_assert(sizeof(MBR_PARTITION) == 16);
static_assert(offsetof(MBR_PARTITION, Type) == 4);
static_assert(offsetof(MBR_PARTITION, SectorOffset) == 8);
static_assert(offsetof(MBR_PARTITION, SectorCount) == 12);

struct MBR_TABLE {
  std::array<std::uint8_t, 440> BootCode;
  encoding::le_u32 DiskSignature;
  std::array<std::uint8_t, 2> Reserved;
  MBR_PARTITION Partitions[4];
  std::array<std::uint8_t, 2> BootSignature;
};
static_assert(sizeof(MBR_TABLE) == kMbrSize);
static_assert(offsetof(MBR_TABLE, DiskSignature) == 440);
static_assert(offsetof(MBR_TABLE, Partitions) == 446);

}  // namespace vhdx_inspect::detail::partition
