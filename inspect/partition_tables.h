// The partition tables in the data area: the partition-table area (MBR,
// primary GPT header and entries) and the GPT trailer (backup entries, then
// the backup header), read, decoded and verified.
#pragma once

#include "platform/file.h"
#include "vhdx/failed_check.h"
#include "vhdx_inspect/inspection.h"

namespace inspect {

// Checks the sizes that the plugin header gives, reads both areas and fills
// the MBR, both GPTs and the findings of `inspection`, which has passed both
// container stages and names a GPT trailer.
vhdx::StageResult InspectPartitionTables(platform::File& file, vhdx_inspect::Inspection& inspection);

}  // namespace inspect
