// Verification of the primary GPT against the backup in the trailer.
#pragma once

#include <ostream>

#include "partition/gpt_records.h"

namespace partition {

// Prints one line (and its values) for every check that fails, under four
// headings, and nothing for a check that passes.
void VerifyGpt(EfiHeaderBytes primaryHeader, GptEntryArrayBytes primaryEntries, EfiHeaderBytes backupHeader,
               GptEntryArrayBytes backupEntries, std::ostream& out);

}  // namespace partition
