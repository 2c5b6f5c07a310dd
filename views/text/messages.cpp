#include "views/text/messages.h"

#include <sstream>

#include "views/text/diagnostic_lines.h"

namespace vhdx_inspect::views::text {

std::string FailureMessage(const Inspection& inspection) {
  if (!inspection.failure) return {};
  // The text program has no line for a structure failure: its sentence.
  if (vhdx_inspect::IsStructureCheck(inspection.failure->check)) return inspection.failure->description;
  std::ostringstream line;
  line.flags(FlagsBeforeFailure(inspection));
  WriteFailureLine(line, inspection);
  return std::move(line).str();
}

std::string FindingMessage(const Finding& finding) { return std::string(FindingText(finding.check)); }

std::string WarningMessage(const Inspection& inspection, const Warning& warning) {
  switch (warning.check) {
    case Check::kVirtualDiskSizeMismatch: {
      if (!inspection.metadata || !inspection.plugin) return warning.description;
      // The first line of the image's output, so written from the stream's
      // initial state.
      std::ostringstream line;
      WriteVirtualSizeWarning(line, *inspection.metadata, *inspection.plugin);
      return std::move(line).str();
    }
    case Check::kPartitionName:
      return std::string(kPartitionNameInvalid);
    default:
      return warning.description;
  }
}

}  // namespace vhdx_inspect::views::text
