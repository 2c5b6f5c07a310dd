// The container report: the current header with the region locations, then
// the standard metadata values, the plugin header and every volume record.
//
// Labels carry their own padding so that the values of a block line up. A
// "hex" value switches to hexadecimal with the prefix and back to decimal;
// the first three header values are written in whatever base is in force.
#pragma once

#include <ostream>
#include <vector>

#include "vhdx_inspect/records.h"

namespace vhdx_inspect::views::text {

void PrintHeaderReport(const vhdx_inspect::HeaderRecord& header, const vhdx_inspect::RegionsRecord& regions,
                       std::ostream& out);

void PrintMetadataReport(const vhdx_inspect::MetadataRecord& metadata, const vhdx_inspect::PluginHeaderRecord& plugin,
                         const std::vector<vhdx_inspect::VolumeRecord>& volumes, std::ostream& out);

}  // namespace vhdx_inspect::views::text
