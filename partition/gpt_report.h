// The GPT header report and the partition entry report.
#pragma once

#include <ostream>
#include <string>

#include "partition/gpt_records.h"

namespace partition {

// Every header field but the reserved field and the disk GUID. Leaves
// hexadecimal with the base prefix in force.
void PrintEfiHeader(EfiHeaderBytes bytes, std::ostream& out);

// One block per used entry, up to the first entry whose unique GUID is zero.
void PrintGptPartitionEntries(GptEntryArrayBytes entries, std::ostream& out);

// The field lines of one entry and, for a known type, the invalid-name line.
void PrintGptPartitionEntry(const GPT_PARTITION_ENTRY& entry, std::ostream& out);

// The partition name as single bytes: code units up to the first zero, at most
// 36; a code unit above 0xFF, which has no single-byte form, becomes '?'.
std::string ConvertPartitionName(const GPT_PARTITION_ENTRY& entry);

}  // namespace partition
