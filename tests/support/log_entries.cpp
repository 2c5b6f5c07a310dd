#include "support/log_entries.h"

#include <cstring>

#include "support/checksums.h"

namespace testsupport {
namespace {

constexpr std::size_t kSector = 4096;

void Store(std::vector<std::byte>& bytes, std::size_t at, std::uint64_t value, int width) {
  for (int i = 0; i < width; ++i) bytes[at + i] = static_cast<std::byte>(value >> (8 * i));
}

void StoreText(std::vector<std::byte>& bytes, std::size_t at, const char (&text)[5]) {
  std::memcpy(bytes.data() + at, text, 4);
}

}  // namespace

std::vector<std::byte> LogEntryBytes(const Guid& logGuid, const LogEntry& entry) {
  const std::size_t descriptors = entry.writes.size();
  const std::size_t descriptorSectors = (descriptors + 2 + 127) / 128;
  std::size_t dataSectors = 0;
  for (const LogWrite& w : entry.writes) dataSectors += w.zeroLength ? 0 : 1;
  std::vector<std::byte> bytes((descriptorSectors + dataSectors) * kSector);

  StoreText(bytes, 0, "loge");
  Store(bytes, 8, bytes.size(), 4);
  Store(bytes, 12, entry.tail, 4);
  Store(bytes, 16, entry.sequence, 8);
  Store(bytes, 24, descriptors, 4);
  std::memcpy(bytes.data() + 32, logGuid.bytes.data(), 16);
  Store(bytes, 48, entry.flushedFileOffset, 8);
  Store(bytes, 56, entry.lastFileOffset, 8);

  std::size_t data = descriptorSectors * kSector;
  for (std::size_t i = 0; i < descriptors; ++i) {
    const LogWrite& w = entry.writes[i];
    const std::size_t at = (i + 2) * 32;
    Store(bytes, at + 16, w.fileOffset, 8);
    Store(bytes, at + 24, entry.sequence, 8);
    if (w.zeroLength) {
      StoreText(bytes, at, "zero");
      Store(bytes, at + 8, *w.zeroLength, 8);
      continue;
    }
    // The sector's first 8 and last 4 bytes live in the descriptor; the data
    // sector holds the signature and the sequence number there instead.
    StoreText(bytes, at, "desc");
    Store(bytes, at + 4, 0x01010101ull * w.fill, 4);
    Store(bytes, at + 8, 0x0101010101010101ull * w.fill, 8);
    std::memset(bytes.data() + data, w.fill, kSector);
    StoreText(bytes, data, "data");
    Store(bytes, data + 4, entry.sequence >> 32, 4);
    Store(bytes, data + kSector - 4, entry.sequence & 0xFFFFFFFFu, 4);
    data += kSector;
  }
  Store(bytes, 4, Crc32c(bytes), 4);
  return bytes;
}

void PutInLog(PluginImage& image, std::uint64_t at, const std::vector<std::byte>& bytes) {
  const std::uint64_t length = image.layout().logLength;
  for (std::size_t i = 0; i < bytes.size(); i += kSector) {
    image.PutBytes(image.layout().log + (at + i) % length, std::span<const std::byte>(bytes).subspan(i, kSector));
  }
}

std::uint64_t PutLogEntries(PluginImage& image, std::uint64_t at, const std::vector<LogEntry>& entries) {
  const Guid guid = image.description().logGuid;
  for (const LogEntry& entry : entries) {
    const std::vector<std::byte> bytes = LogEntryBytes(guid, entry);
    PutInLog(image, at, bytes);
    at = (at + bytes.size()) % image.layout().logLength;
  }
  return at;
}

}  // namespace testsupport
