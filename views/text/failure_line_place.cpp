#include "views/text/failure_line_place.h"

namespace vhdx_inspect::views::text {

using vhdx_inspect::Check;

FailureLinePlace PlaceOfFailureLine(const vhdx_inspect::Inspection& inspection) {
  switch (inspection.failure->check) {
    case Check::kMetadataRegionRead:
      return FailureLinePlace::kAfterHeaderBlock;
    case Check::kPartitionAreaSize:
    case Check::kGptTrailerLength:
      return FailureLinePlace::kAfterSizeLines;
    case Check::kOutOfMemory:
      // Memory refused for the partition tables, once the sizes were read.
      return inspection.partition_area && !inspection.mbr ? FailureLinePlace::kAfterSizeLines
                                                          : FailureLinePlace::kBeforeReport;
    case Check::kPartitionAreaSeek:
    case Check::kPartitionAreaRead:
      return FailureLinePlace::kBeforeMbr;
    case Check::kGptTrailerSeek:
    case Check::kGptTrailerRead:
      return FailureLinePlace::kAfterPrimaryGpt;
    case Check::kPartitionTablesFit:
      return inspection.primary_gpt ? FailureLinePlace::kAfterPrimaryGpt : FailureLinePlace::kBeforeMbr;
    default:
      return FailureLinePlace::kBeforeReport;
  }
}

}  // namespace vhdx_inspect::views::text
