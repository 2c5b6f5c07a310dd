// One inspection as a value: the records that were reached, what the GPT
// verification found, the warnings, and the first failure, if any.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "vhdx_inspect/check.h"
#include "vhdx_inspect/records.h"
#include "vhdx_inspect/structure.h"
#include "vhdx_inspect/verdict.h"

namespace vhdx_inspect {

// The check that ended the inspection.
struct Failure {
  Check check = Check::kImageOpen;
  // What was found, as one plain sentence for a person, the same on every
  // platform but for the system's own text of a status ("The image cannot
  // be read: Input/output error (system status 5)."). The views write their
  // own lines from the facts below.
  std::string description;
  // The system's error code of a failed open, read or positioning, or of
  // memory it refused (errno on POSIX, GetLastError() on Windows).
  std::optional<std::uint32_t> system_status;
  // The value the check found and the one it was held against (for a range,
  // its lower bound); for memory that was refused, the bytes asked for.
  std::optional<std::int64_t> found;
  std::optional<std::int64_t> expected;
  // For a range, its upper bound.
  std::optional<std::int64_t> expected_max;

  friend bool operator==(const Failure&, const Failure&) = default;
};

enum class GptSide { kPrimary, kBackup };

// One difference that the GPT verification found.
struct Finding {
  Check check = Check::kGptSignature;
  // The header it concerns; absent when it compares the two.
  std::optional<GptSide> side;
  // What was found, as one plain sentence.
  std::string description;
  // The header's stored value and the calculated checksum, or the primary
  // header's value and the backup's.
  std::optional<std::uint64_t> value;
  std::optional<std::uint64_t> compared;

  friend bool operator==(const Finding&, const Finding&) = default;
};

// Something worth knowing that does not stop the inspection.
struct Warning {
  Check check = Check::kVirtualDiskSizeMismatch;
  // What was found, as one plain sentence.
  std::string description;
  // The partition entry it concerns, counted from 1, for a partition name.
  std::optional<std::uint32_t> entry;
  std::optional<GptSide> side;

  friend bool operator==(const Warning&, const Warning&) = default;
};

struct Inspection {
  // The image's name as given, as text: on Linux the name's bytes as they
  // are (UTF-8 by convention, not checked); on Windows the UTF-16 name as
  // UTF-8, an unpaired surrogate written as U+FFFD (the file itself is
  // opened by its real name). An image in memory: the name given with it.
  std::string path;
  // kNotInspected until an inspector fills it.
  Verdict verdict = Verdict::kNotInspected;
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

  // The structure pass (an inspector made with Structure::kChecked, on a
  // file whose header section reads as VHDX): what it found, in the order
  // it checks, and the facts it gathered. Empty and absent otherwise.
  std::vector<StructureFinding> structure_findings;
  std::optional<StructureRecord> structure;
  // Present when the metadata gave the BAT's geometry.
  std::optional<BatRecord> bat;

  bool has_failure() const { return failure.has_value(); }

  friend bool operator==(const Inspection&, const Inspection&) = default;
};

}  // namespace vhdx_inspect
