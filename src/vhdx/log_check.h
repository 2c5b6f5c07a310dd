// The log, when the current header's LogGuid is set: its active sequence
// found (log_sequence.h), never replayed. A valid sequence is a warning that
// says what a replay would apply; no valid sequence, a file shorter than the
// head entry's flushed offset, or a log that cannot be read is a failure.
#pragma once

#include <cstdint>
#include <vector>

#include "encoding/little_endian.h"
#include "platform/file.h"
#include "vhdx_inspect/structure.h"

namespace vhdx_inspect::detail::vhdx {

// The log at `offset` with `length` bytes, which lies inside the file of
// `fileSize` bytes. Sets the record's log state and replay counts and adds
// the findings.
void CheckLog(platform::File& file, std::uint64_t fileSize, std::uint64_t offset, std::uint32_t length,
              const encoding::Guid& logGuid, vhdx_inspect::StructureRecord& record,
              std::vector<vhdx_inspect::StructureFinding>& findings);

}  // namespace vhdx_inspect::detail::vhdx
