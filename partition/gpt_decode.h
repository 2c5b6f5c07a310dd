// A GPT header and its partition entry array, decoded.
#pragma once

#include <string>

#include "partition/gpt_records.h"
#include "vhdx_inspect/records.h"

namespace partition {

// The header's fields and its used entries: those before the first entry
// whose unique GUID is zero.
vhdx_inspect::GptRecord DecodeGpt(EfiHeaderBytes header, GptEntryArrayBytes entries);

vhdx_inspect::GptEntryRecord DecodeGptEntry(const GPT_PARTITION_ENTRY& entry);

// The partition name as single bytes: code units up to the first zero, at most
// 36; a code unit above 0xFF, which has no single-byte form, becomes '?'.
std::string SingleByteName(std::span<const std::uint16_t> units);

}  // namespace partition
