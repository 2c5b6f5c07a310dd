// The protective MBR sector at the start of the partition-table area, decoded.
#pragma once

#include <cstddef>
#include <span>

#include "partition/mbr_records.h"
#include "vhdx_inspect/records.h"

namespace vhdx_inspect::detail::partition {

vhdx_inspect::MbrRecord DecodeMbr(std::span<const std::byte, kMbrSize> sector);

vhdx_inspect::MbrPartitionRecord DecodeMbrPartition(const MBR_PARTITION& record);

}  // namespace vhdx_inspect::detail::partition
