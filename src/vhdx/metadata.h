// Stage 2: the metadata region. One 2 MiB read at the region's offset, then
// the metadata table, the four standard items, the plugin metadata and its
// volume records, in this order; the first failed check ends the stage.
#pragma once

#include "platform/file.h"
#include "platform/zeroed_buffer.h"
#include "vhdx/failed_check.h"
#include "vhdx_inspect/inspection.h"

namespace vhdx {

// Reads the metadata region that the regions of `inspection` locate into
// `buffer` (kMetadataRegionReadSize bytes, or empty when it could not be
// allocated) and checks it. Fills the metadata, the plugin header, the
// volumes and the partition-area sizes of `inspection` as they are checked,
// and adds the virtual-size warning.
StageResult CheckMetadata(platform::File& file, platform::ZeroedBuffer& buffer, vhdx_inspect::Inspection& inspection);

}  // namespace vhdx
