// Stage 1: the header section. One 1 MiB read at offset 0, then the file
// identifier, the current header and the region table, in this order; the
// first failed check ends the stage.
#pragma once

#include "platform/file.h"
#include "platform/zeroed_buffer.h"
#include "vhdx/failed_check.h"
#include "vhdx_inspect/inspection.h"

namespace vhdx {

// Reads the header section of `file` into `buffer` (kHeaderSectionSize bytes,
// or empty when it could not be allocated) and checks it. Fills the current
// header and the regions of `inspection` when every check passes.
StageResult CheckHeaderSection(platform::File& file, platform::ZeroedBuffer& buffer,
                               vhdx_inspect::Inspection& inspection);

}  // namespace vhdx
