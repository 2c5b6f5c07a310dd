#include "vhdx/log_check.h"

#include <algorithm>
#include <string>
#include <utility>

#include "vhdx/file_log_sectors.h"
#include "vhdx/log_sequence.h"
#include "vhdx/structure_finding.h"

namespace vhdx_inspect::detail::vhdx {
namespace {

using vhdx_inspect::Check;
using vhdx_inspect::Severity;
using vhdx_inspect::StructureFinding;

std::string Counted(std::uint64_t count, const char* one, const char* many) {
  return Decimal(count) + " " + (count == 1 ? one : many);
}

}  // namespace

void CheckLog(platform::File& file, std::uint64_t fileSize, std::uint64_t offset, std::uint32_t length,
              const encoding::Guid& logGuid, vhdx_inspect::StructureRecord& record,
              std::vector<vhdx_inspect::StructureFinding>& findings) {
  FileLogSectors sectors(file, offset, length);
  const LogScan scan = FindActiveSequence(sectors, logGuid);
  if (scan.unread_sector) {
    record.log_state = "unreadable";
    const auto status = sectors.failed_status();
    StructureFinding finding = MakeFinding(
        Check::kLogRead, Severity::kFailure,
        "The log cannot be read at offset " + Decimal(sectors.failed_offset()) +
            (status ? " (system status " + Decimal(*status) + ")." : std::string(": the file ended early.")));
    finding.offset = sectors.failed_offset();
    findings.push_back(std::move(finding));
    return;
  }
  if (!scan.active) {
    record.log_state = "no_valid_sequence";
    StructureFinding finding = MakeFinding(
        Check::kLogNoValidSequence, Severity::kFailure,
        "The header says the log holds writes to replay, but the log (offset " + Decimal(offset) + ", " +
            Decimal(length) +
            " bytes) holds no valid sequence of entries, so the image cannot be brought to a consistent state "
            "(restore it from a backup).");
    finding.offset = offset;
    findings.push_back(std::move(finding));
    return;
  }
  const ActiveSequence& active = *scan.active;
  const std::uint64_t sizeAfter = std::max({fileSize, active.last_file_offset, active.highest_write_end});
  record.log_state = "replay_pending";
  record.log_entries = active.entries;
  record.log_first_sequence = active.first_sequence;
  record.log_last_sequence = active.last_sequence;
  record.log_data_sectors = active.data_sectors;
  record.log_zero_ranges = active.zero_ranges;
  record.log_file_size_after_replay = sizeAfter;

  if (fileSize < active.flushed_file_offset) {
    StructureFinding finding = MakeFinding(
        Check::kLogFlushedOffset, Severity::kFailure,
        "The file ends at byte " + Decimal(fileSize) + ", before byte " + Decimal(active.flushed_file_offset) +
            ", which the log says the file reached when it was written, so it was cut short (copy it again from "
            "its source).");
    finding.offset = fileSize;
    finding.found = static_cast<std::int64_t>(fileSize);
    finding.expected = static_cast<std::int64_t>(active.flushed_file_offset);
    findings.push_back(std::move(finding));
  }
  const std::string sequences = active.entries == 1 ? "sequence number " + Decimal(active.first_sequence)
                                                    : "sequence numbers " + Decimal(active.first_sequence) + " to " +
                                                          Decimal(active.last_sequence);
  StructureFinding finding = MakeFinding(
      Check::kLogReplayPending, Severity::kWarning,
      "The log holds " + Counted(active.entries, "entry", "entries") + " (" + sequences +
          ") of writes that were never applied to the file: a replay would write " +
          Counted(active.data_sectors, "sector", "sectors") + " of 4096 bytes, zero " +
          Counted(active.zero_ranges, "range", "ranges") + " and leave the file at " + Decimal(sizeAfter) +
          " bytes. Open the image once, read-write, in the system that made it, so that it replays the log, and "
          "inspect it again.");
  finding.offset = offset + active.tail_offset;
  finding.found = static_cast<std::int64_t>(active.entries);
  findings.push_back(std::move(finding));
}

}  // namespace vhdx_inspect::detail::vhdx
