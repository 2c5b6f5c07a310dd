// Log entries for test images: the bytes of one entry as the VHDX format
// lays it out (header, descriptors, data sectors, CRC-32C), and its write
// into an image's log, wrapping at the log's end as the ring does.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "support/guid.h"
#include "support/plugin_image.h"

namespace testsupport {

// One write an entry describes: 4096 bytes of `fill` at `fileOffset`, or,
// with zeroLength, that many zero bytes there.
struct LogWrite {
  std::uint64_t fileOffset = 0;
  std::uint8_t fill = 0;
  std::optional<std::uint64_t> zeroLength = std::nullopt;
};

struct LogEntry {
  std::uint64_t sequence = 1;
  std::uint64_t tail = 0;  // bytes into the log of the sequence's first entry
  std::uint64_t flushedFileOffset = 0;
  std::uint64_t lastFileOffset = 0;
  std::vector<LogWrite> writes;
};

// The entry's bytes, a multiple of 4096: its length is its descriptor
// sectors and one data sector for each write with data.
std::vector<std::byte> LogEntryBytes(const Guid& logGuid, const LogEntry& entry);

// Writes `bytes` `at` bytes into the image's log, wrapping at its end.
void PutInLog(PluginImage& image, std::uint64_t at, const std::vector<std::byte>& bytes);

// Writes entries one after another from `at` in the log and returns where
// the next would go.
std::uint64_t PutLogEntries(PluginImage& image, std::uint64_t at, const std::vector<LogEntry>& entries);

}  // namespace testsupport
