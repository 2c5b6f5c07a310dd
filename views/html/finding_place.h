// Which structure of an image a failure or finding concerns, by its check's
// name: the one a map draws it on. The rule lives here once; the map reads
// it for the failure, each GPT finding, each warning and each structure
// finding.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "views/html/image_record.h"

namespace vhdx_inspect::views::html {

enum class Structure {
  // In the file.
  kWholeFile,       // the file as a whole (an open that failed)
  kHeaderSection,   // the first 1 MiB
  kFileIdentifier,  // its first 64 KiB
  kHeaders,         // the two header copies (one when `index` says which)
  kRegionTables,    // the two region table copies
  kLog,
  kMetadataRegion,
  kBatRegion,
  kPartitionArea,  // the plugin's MBR and primary GPT at the data area's start
  kGptTrailer,     // the backup entries and header in the data area
  kFileEnd,        // the file's length
  kFileOffset,     // the offset a structure finding names
  // On the virtual disk.
  kGptHeader,   // the side's header, or both
  kGptEntries,  // the side's entry array, or both
  kPartition,   // the partition entry `index`
};

struct FindingPlace {
  Structure structure = Structure::kWholeFile;
  std::string side;                     // "primary", "backup", or empty for both
  std::optional<std::uint64_t> index;   // the copy or entry, counted from 0
  std::optional<std::uint64_t> offset;  // for kFileOffset
};

FindingPlace PlaceOf(const Finding& finding);

// True for the structures of the virtual disk.
bool OnDisk(Structure structure);

}  // namespace vhdx_inspect::views::html
