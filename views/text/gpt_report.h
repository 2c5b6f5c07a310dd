// The GPT header report, the partition entry report and the verification
// report.
#pragma once

#include <ostream>
#include <vector>

#include "vhdx_inspect/inspection.h"

namespace vhdx_inspect::views::text {

// Every header field but the reserved field and the disk GUID. Leaves
// hexadecimal with the base prefix in force.
void PrintEfiHeader(const vhdx_inspect::GptRecord& gpt, std::ostream& out);

// One block per used entry.
void PrintGptPartitionEntries(const std::vector<vhdx_inspect::GptEntryRecord>& entries, std::ostream& out);

// The field lines of one entry and, for a known type, the invalid-name line.
void PrintGptPartitionEntry(const vhdx_inspect::GptEntryRecord& entry, std::ostream& out);

// The four headings of the verification, each followed by the lines (and
// values) of its findings.
void PrintVerification(const std::vector<vhdx_inspect::Finding>& findings, std::ostream& out);

}  // namespace vhdx_inspect::views::text
