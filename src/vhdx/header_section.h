// Stage 1: the header section. Its 1 MiB must lie in the file; then the
// file identifier, the current header and the region table are checked, in
// this order, and the first failed check ends the stage.
#pragma once

#include <array>
#include <optional>

#include "vhdx/failed_check.h"
#include "vhdx/region_window.h"
#include "vhdx_inspect/inspection.h"

namespace vhdx_inspect::detail::vhdx {

// The checksums the stage computed, by copy (0: header 1 or region table
// copy 1), for the structure pass to take instead of computing them again:
// a region table's CRC-32C costs 210,000 instructions, 40 % of a sound
// image's inspection (callgrind).
struct SectionChecksums {
  std::array<std::optional<bool>, 2> header;
  std::array<std::optional<bool>, 2> region_table;
};

// Checks the header section, `section` (kHeaderSectionSize bytes at file
// offset 0), asking it for its first kExaminedHeaderSectionSize bytes. Fills
// the current header and the regions of `inspection` when every check
// passes, and `checksums` with whether each checksum it computed matched.
StageResult CheckHeaderSection(RegionWindow& section, vhdx_inspect::Inspection& inspection,
                               SectionChecksums& checksums);

}  // namespace vhdx_inspect::detail::vhdx
