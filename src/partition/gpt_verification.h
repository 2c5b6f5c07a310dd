// Verification of the primary GPT against the backup in the trailer.
#pragma once

#include <vector>

#include "partition/gpt_records.h"
#include "vhdx_inspect/inspection.h"

namespace vhdx_inspect::detail::partition {

// Appends one finding for every check that fails, in the order the report
// prints them: the primary header's own fields, the backup's, the headers
// against each other, the two entry checksums against each other. The
// findings' descriptions are left empty.
void VerifyGpt(EfiHeaderBytes primaryHeader, GptEntryArrayBytes primaryEntries, EfiHeaderBytes backupHeader,
               GptEntryArrayBytes backupEntries, std::vector<vhdx_inspect::Finding>& findings);

}  // namespace vhdx_inspect::detail::partition
