// Where a failure's line stands in the text report. The container stages
// run before anything is printed; the partition tables fail after the three
// size lines, before the MBR or after the primary GPT. The report writes the
// line there, and the failure's message (messages.h) is rendered in the
// number state that the report has reached at that point.
#pragma once

#include "vhdx_inspect/inspection.h"

namespace vhdx_inspect::views::text {

// The places in the order the report reaches them.
enum class FailureLinePlace {
  kBeforeReport,      // before "Parsing ": the header section and the metadata
  kAfterHeaderBlock,  // after the header block: a failed read of the metadata region
  kAfterSizeLines,    // after the three size lines: the partition area's sizes
  kBeforeMbr,         // after the size lines, the partition area unread
  kAfterPrimaryGpt,   // after the primary GPT: the trailer unread
};

// The place of the inspection's failure; the inspection has one.
FailureLinePlace PlaceOfFailureLine(const vhdx_inspect::Inspection& inspection);

// True for the places after the three size lines, which leave hexadecimal
// with the prefix in force.
constexpr bool FollowsTheSizeLines(FailureLinePlace place) { return place >= FailureLinePlace::kAfterSizeLines; }

}  // namespace vhdx_inspect::views::text
