// A GPT header and its partition entry array, decoded.
#pragma once

#include <string>

#include "partition/gpt_records.h"
#include "vhdx_inspect/records.h"

namespace vhdx_inspect::detail::partition {

// The header's fields and its used entries: those before the first entry
// whose unique GUID is zero.
vhdx_inspect::GptRecord DecodeGpt(EfiHeaderBytes header, GptEntryArrayBytes entries);

vhdx_inspect::GptEntryRecord DecodeGptEntry(const GPT_PARTITION_ENTRY& entry);

}  // namespace vhdx_inspect::detail::partition
