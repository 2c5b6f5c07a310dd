#include "inspect/conclusion.h"

#include <sstream>

#include "inspect/diagnostic_lines.h"

namespace inspect {
namespace {

using vhdx_inspect::Check;
using vhdx_inspect::Inspection;
using vhdx_inspect::Verdict;

Verdict VerdictOf(const Inspection& inspection) {
  if (!inspection.failure) return inspection.gpt_findings.empty() ? Verdict::kSound : Verdict::kGptMismatch;
  const Check check = inspection.failure->check;
  if (inspection.failure->system_status) return Verdict::kUnreadable;
  if (check == Check::kFileIdentifierCreator || check == Check::kPluginMetadataMissing) return Verdict::kNotPlugin;
  return Verdict::kCorrupt;
}

// The failure's line as the report writes it for this image alone.
std::string FailureMessage(const Inspection& inspection) {
  std::ostringstream line;
  line.flags(FlagsBeforeFailure(inspection));
  WriteFailureLine(line, *inspection.failure, inspection.path);
  return std::move(line).str();
}

std::string WarningMessage(const Inspection& inspection, const vhdx_inspect::Warning& warning) {
  switch (warning.check) {
    case Check::kVirtualDiskSizeMismatch: {
      // The first line of the image's output, so written from the stream's
      // initial state.
      std::ostringstream line;
      WriteVirtualSizeWarning(line, *inspection.metadata, *inspection.plugin);
      return std::move(line).str();
    }
    case Check::kLogNotReplayed:
      return "LogGuid is not zero: the image holds a log that was never replayed, so it was not closed cleanly.";
    case Check::kPartitionName:
      return std::string(kPartitionNameInvalid);
    default:
      return {};
  }
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
  if (inspection.failure) inspection.failure->message = FailureMessage(inspection);
  for (vhdx_inspect::Finding& finding : inspection.gpt_findings) finding.message = FindingText(finding.check);
  for (vhdx_inspect::Warning& warning : inspection.warnings) warning.message = WarningMessage(inspection, warning);
}

}  // namespace inspect
