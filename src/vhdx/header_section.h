// Stage 1: the header section. Its 1 MiB must lie in the file; then the
// file identifier, the current header and the region table are checked, in
// this order, and the first failed check ends the stage.
#pragma once

#include "vhdx/failed_check.h"
#include "vhdx/region_window.h"
#include "vhdx_inspect/inspection.h"

namespace vhdx_inspect::detail::vhdx {

// Checks the header section, `section` (kHeaderSectionSize bytes at file
// offset 0), asking it for its first kExaminedHeaderSectionSize bytes. Fills
// the current header and the regions of `inspection` when every check
// passes.
StageResult CheckHeaderSection(RegionWindow& section, vhdx_inspect::Inspection& inspection);

}  // namespace vhdx_inspect::detail::vhdx
