// The VHDX container's own structure as an opt-in pass checks it: both
// header copies, both region table copies, the places of the log and the
// regions, the metadata items by their identity, the BAT and the file's
// length. The pass runs after every other check, on every file whose header
// section reads as VHDX, and reads only what it needs (the BAT in windows
// of at most 1 MiB).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "vhdx_inspect/check.h"
#include "vhdx_inspect/records.h"

namespace vhdx_inspect {

// Whether an inspector checks the container's structure after its other
// checks. The text program does not; the JSON program and the Python module
// do.
enum class Structure {
  kUnchecked,
  kChecked,
};

enum class Severity {
  // A conforming reader must refuse the image, or its data is lost.
  kFailure,
  // Worth repairing, but the image reads as it is.
  kWarning,
};

// "failure" or "warning".
const char* SeverityName(Severity severity);

// One thing the structure pass found.
struct StructureFinding {
  Check check = Check::kFileTruncated;
  Severity severity = Severity::kFailure;
  // What was found, as one plain sentence for a person.
  std::string description;
  // Where it fits: the entry it concerns (a BAT, region table or metadata
  // table entry, counted from 0), a file offset, and the value found against
  // the one expected.
  std::optional<std::uint64_t> index;
  std::optional<std::uint64_t> offset;
  std::optional<std::int64_t> found;
  std::optional<std::int64_t> expected;

  friend bool operator==(const StructureFinding&, const StructureFinding&) = default;
};

// One of the two header copies, as it was found.
struct HeaderCopyRecord {
  std::uint64_t offset = 0;
  bool signature_valid = false;
  bool checksum_valid = false;
  // The copy a reader takes: the valid one, or of two valid ones the one
  // with the greater sequence number.
  bool current = false;
  std::uint64_t sequence_number = 0;
  std::uint16_t version = 0;
  std::uint16_t log_version = 0;

  friend bool operator==(const HeaderCopyRecord&, const HeaderCopyRecord&) = default;
};

// One of the two region table copies, as it was found.
struct RegionTableCopyRecord {
  std::uint64_t offset = 0;
  bool signature_valid = false;
  bool checksum_valid = false;
  std::uint32_t entry_count = 0;
  // Its 64 KiB are byte for byte those of copy 1.
  bool same_as_copy_1 = false;

  friend bool operator==(const RegionTableCopyRecord&, const RegionTableCopyRecord&) = default;
};

// A run of file offsets [offset, offset + length).
struct ExtentRecord {
  std::uint64_t offset = 0;
  std::uint64_t length = 0;

  friend bool operator==(const ExtentRecord&, const ExtentRecord&) = default;
};

// The block allocation table: the entries the virtual size needs, how many
// of them the file holds, their states, and where the present blocks lie.
struct BatRecord {
  std::uint64_t offset = 0;
  std::uint32_t length = 0;
  std::uint64_t payload_blocks = 0;
  std::uint32_t chunk_ratio = 0;
  // The entries the virtual size needs, and those that were read (fewer when
  // the region is too small or the file ends inside it).
  std::uint64_t entries = 0;
  std::uint64_t entries_read = 0;
  // Payload block entries by state.
  std::uint64_t not_present = 0;        // 0
  std::uint64_t undefined = 0;          // 1
  std::uint64_t zero = 0;               // 2
  std::uint64_t unmapped = 0;           // 3
  std::uint64_t fully_present = 0;      // 6
  std::uint64_t partially_present = 0;  // 7
  std::uint64_t reserved_state = 0;     // 4 or 5
  // Sector bitmap entries that locate a bitmap block (state 6), and those in
  // any other state than 0 or 6.
  std::uint64_t sector_bitmaps_present = 0;
  std::uint64_t sector_bitmaps_other = 0;
  // The file offsets that present payload and sector bitmap blocks occupy
  // inside the file, in file order, adjacent blocks joined; at most
  // kMaxListedExtents of them.
  std::vector<ExtentRecord> present_blocks;
  bool present_blocks_complete = true;

  static constexpr std::size_t kMaxListedExtents = 65536;

  friend bool operator==(const BatRecord&, const BatRecord&) = default;
};

// The facts a picture of the container needs.
struct StructureRecord {
  std::uint64_t file_size = 0;
  std::array<HeaderCopyRecord, 2> headers{};
  std::array<RegionTableCopyRecord, 2> region_tables{};
  // The log as the current header places it, and its state: "empty" when
  // its LogGuid is zero; "replay_pending" when it holds a valid sequence of
  // writes never applied; "no_valid_sequence"; "unreadable" when a read of
  // it failed; "not_examined" when its place or LogVersion is not one a
  // reader can follow, or it does not lie inside the file; "unknown" when
  // neither header copy is valid.
  std::uint64_t log_offset = 0;
  std::uint32_t log_length = 0;
  std::string log_state;
  // For "replay_pending", what a replay would apply (all zero otherwise):
  // its entries and their sequence numbers, the 4 KiB sectors it writes,
  // the ranges it zeroes, and the file's size once it is done.
  std::uint64_t log_entries = 0;
  std::uint64_t log_first_sequence = 0;
  std::uint64_t log_last_sequence = 0;
  std::uint64_t log_data_sectors = 0;
  std::uint64_t log_zero_ranges = 0;
  std::uint64_t log_file_size_after_replay = 0;
  // The metadata's HasParent flag: a differencing image, whose parent this
  // tool does not follow.
  bool has_parent = false;

  friend bool operator==(const StructureRecord&, const StructureRecord&) = default;
};

}  // namespace vhdx_inspect
