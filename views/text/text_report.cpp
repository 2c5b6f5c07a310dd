#include "views/text/text_report.h"

#include <cstdint>

#include "views/text/container_report.h"
#include "views/text/diagnostic_lines.h"
#include "views/text/failure_line_place.h"
#include "views/text/gpt_report.h"
#include "views/text/mbr_report.h"
#include "views/text/number_format.h"

namespace vhdx_inspect::views::text {
namespace {

using vhdx_inspect::Check;
using vhdx_inspect::Inspection;
using Place = FailureLinePlace;

// Writes the failure's line, if it stands at `place`, and the line that
// ends the image; true when it did.
bool EndsAt(Place place, const Inspection& inspection, std::ostream& out) {
  if (!inspection.failure || PlaceOfFailureLine(inspection) != place) return false;
  // A failed read of the metadata region has no line of its own.
  if (inspection.failure->check != Check::kMetadataRegionRead) {
    WriteFailureLine(out, inspection);
    out << std::endl;
  }
  out << "Exception occurred: plugin VHDX is corrupt" << std::endl;
  return true;
}

void PrintSizeLines(const vhdx_inspect::PartitionAreaRecord& area, std::ostream& out) {
  out << "GPT Header size:    " << HexKeepingPrefixFlag(static_cast<std::uint64_t>(area.mbr_gpt_size)) << std::endl;
  out << "GPT Trailer size:   " << HexKeepingPrefixFlag(static_cast<std::uint64_t>(area.gpt_trailer_length))
      << std::endl;
  out << "GPT Trailer offset: " << HexKeepingPrefixFlag(static_cast<std::uint64_t>(area.gpt_trailer_offset))
      << std::endl;
}

// The warning that stage 2 prints as it finds it.
void PrintVirtualSizeWarning(const Inspection& inspection, std::ostream& out) {
  for (const vhdx_inspect::Warning& warning : inspection.warnings) {
    if (warning.check != Check::kVirtualDiskSizeMismatch) continue;
    WriteVirtualSizeWarning(out, *inspection.metadata, *inspection.plugin);
    out << std::endl;
  }
}

}  // namespace

void WriteTextReport(const Inspection& inspection, std::ostream& out) {
  PrintVirtualSizeWarning(inspection, out);
  if (EndsAt(Place::kBeforeReport, inspection, out)) return;

  out << "Parsing " << inspection.path.c_str() << std::endl << std::endl;
  PrintHeaderReport(*inspection.header, *inspection.regions, out);
  if (EndsAt(Place::kAfterHeaderBlock, inspection, out)) return;
  PrintMetadataReport(*inspection.metadata, *inspection.plugin, inspection.volumes, out);
  if (!inspection.partition_area) return;

  PrintSizeLines(*inspection.partition_area, out);
  if (EndsAt(Place::kAfterSizeLines, inspection, out) || EndsAt(Place::kBeforeMbr, inspection, out)) return;
  PrintMbrTable(*inspection.mbr, out);
  out << std::endl;
  out << "GPT EFI Header and partition entries" << std::endl;
  PrintEfiHeader(*inspection.primary_gpt, out);
  PrintGptPartitionEntries(inspection.primary_gpt->entries, out);
  if (EndsAt(Place::kAfterPrimaryGpt, inspection, out)) return;

  out << std::endl;
  out << "GPT trailer partition entries and EFI Header" << std::endl;
  PrintGptPartitionEntries(inspection.backup_gpt->entries, out);
  PrintEfiHeader(*inspection.backup_gpt, out);
  PrintVerification(inspection.gpt_findings, out);
}

}  // namespace vhdx_inspect::views::text
