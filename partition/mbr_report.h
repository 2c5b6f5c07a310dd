// The protective MBR report: the disk signature and the four partition records.
#pragma once

#include <cstddef>
#include <ostream>
#include <span>

#include "partition/mbr_records.h"

namespace partition {

// Leaves hexadecimal with the base prefix in force.
void PrintMbrTable(std::span<const std::byte, kMbrSize> sector, std::ostream& out);

// The ten field lines of one partition record.
void PrintMbrPartition(const MBR_PARTITION& record, std::ostream& out);

}  // namespace partition
