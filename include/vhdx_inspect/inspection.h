// One inspection as a value: the records that were reached, what the GPT
// verification found, the warnings, and the first failure, if any.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "vhdx_inspect/check.h"
#include "vhdx_inspect/records.h"
#include "vhdx_inspect/verdict.h"

namespace vhdx_inspect {

// The check that ended the inspection.
struct Failure {
  Check check = Check::kImageOpen;
  // The one line the text report prints for it, without the line end, as it
  // prints it for this image inspected alone. Empty for a failed read of the
  // metadata region, which the text report follows with no line of its own.
  std::string message;
  // The system's error code of a failed open, read or positioning (errno on
  // POSIX, GetLastError() on Windows).
  std::optional<std::uint32_t> system_status;
  // The value the check found and the one it was held against, where the
  // line names them (for a size range, its lower bound).
  std::optional<std::int64_t> found;
  std::optional<std::int64_t> expected;
  friend bool operator==(const Failure&, const Failure&) = default;
};

enum class GptSide { kPrimary, kBackup };

// One difference that the GPT verification found.
struct Finding {
  Check check = Check::kGptSignature;
  // The header it concerns; absent when it compares the two.
  std::optional<GptSide> side;
  // The finding's line, without its leading tabs and trailing blanks.
  std::string message;
  // The header's stored value and the calculated checksum, or the primary
  // header's value and the backup's, where the report prints them.
  std::optional<std::uint64_t> value;
  std::optional<std::uint64_t> compared;
  friend bool operator==(const Finding&, const Finding&) = default;
};

// Something worth knowing that does not stop the inspection.
struct Warning {
  Check check = Check::kVirtualDiskSizeMismatch;
  // The line as the text report prints it for this image alone; the text
  // report prints no line for a non-zero LogGuid.
  std::string message;
  // The partition entry it concerns, counted from 1, for a partition name.
  std::optional<std::uint32_t> entry;
  std::optional<GptSide> side;
  friend bool operator==(const Warning&, const Warning&) = default;
};

struct Inspection {
  // The image's name as given.
  std::string path;
  Verdict verdict = Verdict::kSound;
  std::optional<Failure> failure;

  std::optional<HeaderRecord> header;
  std::optional<RegionsRecord> regions;
  std::optional<MetadataRecord> metadata;
  std::optional<PluginHeaderRecord> plugin;
  // Present with the plugin header; empty when it lists no volume.
  std::vector<VolumeRecord> volumes;
  // Present when the plugin header names a GPT trailer.
  std::optional<PartitionAreaRecord> partition_area;
  std::optional<MbrRecord> mbr;
  std::optional<GptRecord> primary_gpt;
  std::optional<GptRecord> backup_gpt;
  // In the order the report prints them: the primary header's own fields,
  // the backup's, the two headers against each other, the entry checksums.
  std::vector<Finding> gpt_findings;
  std::vector<Warning> warnings;

  bool has_failure() const { return failure.has_value(); }
  friend bool operator==(const Inspection&, const Inspection&) = default;
};

}  // namespace vhdx_inspect
