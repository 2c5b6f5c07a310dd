// The protective MBR report: the disk signature and the four partition records.
#pragma once

#include <ostream>

#include "vhdx_inspect/records.h"

namespace vhdx_inspect::views::text {

// Leaves hexadecimal with the base prefix in force.
void PrintMbrTable(const vhdx_inspect::MbrRecord& mbr, std::ostream& out);

// The ten field lines of one partition record.
void PrintMbrPartition(const vhdx_inspect::MbrPartitionRecord& record, std::ostream& out);

}  // namespace vhdx_inspect::views::text
