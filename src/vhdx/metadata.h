// Stage 2: the metadata region, the 2 MiB at the region's offset: the
// metadata table, the four standard items, the plugin metadata and its
// volume records, in this order; the first failed check ends the stage.
#pragma once

#include "vhdx/failed_check.h"
#include "vhdx/region_window.h"
#include "vhdx_inspect/inspection.h"

namespace vhdx_inspect::detail::vhdx {

// Checks the metadata region that the regions of `inspection` locate,
// `region` (kMetadataRegionReadSize bytes at the region's offset; what lies
// past the end of the file reads as zero), asking it for the table, the
// items and the volume records as the checks reach them. Fills the metadata,
// the plugin header, the volumes and the partition-area sizes of
// `inspection` as they are checked, and adds the virtual-size warning.
StageResult CheckMetadata(RegionWindow& region, vhdx_inspect::Inspection& inspection);

}  // namespace vhdx_inspect::detail::vhdx
