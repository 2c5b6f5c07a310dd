#include "inspect/conclusion.h"

#include "inspect/descriptions.h"

namespace vhdx_inspect::detail::inspect {
namespace {

using vhdx_inspect::Check;
using vhdx_inspect::Inspection;
using vhdx_inspect::Verdict;

// What a failed check means for the image, by the check alone: the system
// refused to open, position, read or give memory (unreadable); the image is
// a VHDX written for something else (not a plugin VHDX); or a structure is
// wrong (corrupt).
Verdict VerdictOfFailure(Check check) {
  switch (check) {
    case Check::kImageOpen:
    case Check::kHeaderSectionRead:
    case Check::kMetadataRegionSeek:
    case Check::kMetadataRegionRead:
    case Check::kPartitionAreaSeek:
    case Check::kPartitionAreaRead:
    case Check::kGptTrailerSeek:
    case Check::kGptTrailerRead:
    case Check::kOutOfMemory:
      return Verdict::kUnreadable;
    case Check::kFileIdentifierCreator:
    case Check::kPluginMetadataMissing:
      return Verdict::kNotPlugin;
    default:
      return Verdict::kCorrupt;
  }
}

Verdict VerdictOf(const Inspection& inspection) {
  if (inspection.failure) return VerdictOfFailure(inspection.failure->check);
  return inspection.gpt_findings.empty() ? Verdict::kSound : Verdict::kGptMismatch;
}

// A partition entry whose name does not fit its known type.
void WarnOnPartitionNames(const vhdx_inspect::GptRecord& gpt, vhdx_inspect::GptSide side, Inspection& inspection) {
  for (std::size_t n = 0; n < gpt.entries.size(); ++n) {
    if (!gpt.entries[n].name_fits_type) {
      inspection.warnings.push_back({Check::kPartitionName, {}, static_cast<std::uint32_t>(n + 1), side});
    }
  }
}

}  // namespace

void Conclude(Inspection& inspection) {
  if (inspection.primary_gpt)
    WarnOnPartitionNames(*inspection.primary_gpt, vhdx_inspect::GptSide::kPrimary, inspection);
  if (inspection.backup_gpt) WarnOnPartitionNames(*inspection.backup_gpt, vhdx_inspect::GptSide::kBackup, inspection);
  inspection.verdict = VerdictOf(inspection);
  // A structure failure carries the sentence the structure pass wrote.
  if (inspection.failure && !IsStructureCheck(inspection.failure->check))
    inspection.failure->description = DescribeFailure(*inspection.failure);
  for (vhdx_inspect::Finding& finding : inspection.gpt_findings)
    finding.description = DescribeFinding(finding, inspection);
  for (vhdx_inspect::Warning& warning : inspection.warnings) warning.description = DescribeWarning(warning, inspection);
}

}  // namespace vhdx_inspect::detail::inspect
