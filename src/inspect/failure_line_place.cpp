#include "inspect/failure_line_place.h"

namespace inspect {

using vhdx_inspect::Check;

FailureLinePlace PlaceOfFailureLine(const vhdx_inspect::Inspection& inspection) {
  switch (inspection.failure->check) {
    case Check::kMetadataRegionRead:
      return FailureLinePlace::kAfterHeaderBlock;
    case Check::kPartitionAreaSize:
    case Check::kGptTrailerLength:
    case Check::kPartitionTablesAllocation:
      return FailureLinePlace::kAfterSizeLines;
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

}  // namespace inspect
