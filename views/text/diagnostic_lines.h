// The text of the lines that name a failed check, a finding or a warning.
//
// A line's numbers are written in whatever base the stream has in force, as
// the report writes them; the messages of messages.h are rendered through
// the same functions, in the state the report has reached at that point for
// the image alone.
#pragma once

#include <ostream>
#include <string>
#include <string_view>

#include "vhdx_inspect/inspection.h"

namespace vhdx_inspect::views::text {

// The failure's line, without its line end; the inspection has a failure.
void WriteFailureLine(std::ostream& out, const vhdx_inspect::Inspection& inspection);

// The virtual-size warning's line, without its line end: the metadata's
// virtual disk size and the plugin header's, in hexadecimal, leaving
// hexadecimal in force.
void WriteVirtualSizeWarning(std::ostream& out, const vhdx_inspect::MetadataRecord& metadata,
                             const vhdx_inspect::PluginHeaderRecord& plugin);

// A GPT verification finding's text, such as "HeaderCRC32 is invalid." (the
// report adds a tab before it and two blanks after it).
std::string_view FindingText(vhdx_inspect::Check check);

// The invalid-name line of a partition entry, without its tabs and blanks.
inline constexpr std::string_view kPartitionNameInvalid = "PartitionName is invalid.";

// The number state of the report stream right before the failure's line,
// for the image inspected alone.
std::ios_base::fmtflags FlagsBeforeFailure(const vhdx_inspect::Inspection& inspection);

}  // namespace vhdx_inspect::views::text
