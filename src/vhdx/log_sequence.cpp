// Every value taken from the log is checked before it is used: entry
// lengths and tails against the log's size, descriptor counts against the
// entry's length, and every loop runs over a count those checks bounded.
#include "vhdx/log_sequence.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "vhdx/crc32c.h"

namespace vhdx_inspect::detail::vhdx {
namespace {

using encoding::LoadRecord;

constexpr std::uint64_t kMiB = 1048576;

// One valid entry, as the run and the summary need it.
struct Entry {
  std::uint64_t start = 0;    // sector index
  std::uint64_t sectors = 0;  // its length in sectors
  std::uint64_t sequence = 0;
  std::uint64_t tail = 0;  // bytes into the log
  std::uint64_t dataSectors = 0;
  std::uint64_t zeroRanges = 0;
  std::uint64_t zeroedBytes = 0;
  std::uint64_t writeEnd = 0;
  std::uint64_t flushedFileOffset = 0;
  std::uint64_t lastFileOffset = 0;
};

enum class Outcome { kValid, kInvalid, kUnread };

std::uint64_t DescriptorSectors(std::uint64_t descriptors) {
  return (descriptors + kLogHeaderSlots + kLogSlotsPerSector - 1) / kLogSlotsPerSector;
}

std::uint64_t EndOf(std::uint64_t offset, std::uint64_t length) {
  return length > UINT64_MAX - offset ? UINT64_MAX : offset + length;
}

class EntryReader {
 public:
  EntryReader(LogSectors& log, const encoding::Guid& logGuid) : log_(log), guid_(logGuid) {}

  std::optional<std::uint64_t> unread() const { return unread_; }

  // The entry that starts at sector `start`, when it is valid.
  Outcome Read(std::uint64_t start, Entry& entry) {
    const std::uint64_t n = log_.count();
    const auto first = Sector(start);
    if (!first) return Outcome::kUnread;
    const auto header = LoadRecord<LOG_ENTRY_HEADER>(std::span<const std::byte>(*first));
    if (!header || header->Signature != kLogEntrySignature) return Outcome::kInvalid;
    const std::uint64_t length = header->EntryLength.value();
    const std::uint64_t tail = header->Tail.value();
    const std::uint64_t sequence = header->SequenceNumber.value();
    const std::uint64_t descriptors = header->DescriptorCount.value();
    if (length == 0 || length % kLogSectorSize != 0 || length / kLogSectorSize > n) return Outcome::kInvalid;
    if (tail % kLogSectorSize != 0 || tail / kLogSectorSize >= n) return Outcome::kInvalid;
    if (sequence == 0 || header->LogGuid != guid_) return Outcome::kInvalid;
    if (header->FlushedFileOffset.value() % kMiB != 0 || header->LastFileOffset.value() % kMiB != 0)
      return Outcome::kInvalid;
    const std::uint64_t sectors = length / kLogSectorSize;
    const std::uint64_t descriptorSectors = DescriptorSectors(descriptors);
    if (descriptorSectors > sectors) return Outcome::kInvalid;

    entry = Entry{};
    entry.start = start;
    entry.sectors = sectors;
    entry.sequence = sequence;
    entry.tail = tail;
    entry.flushedFileOffset = header->FlushedFileOffset.value();
    entry.lastFileOffset = header->LastFileOffset.value();

    // One pass over the entry's sectors in ring order: the checksum, the
    // descriptors, then the data sectors.
    std::array<std::byte, kLogSectorSize> firstCopy;
    std::memcpy(firstCopy.data(), first->data(), kLogSectorSize);
    std::memset(firstCopy.data() + offsetof(LOG_ENTRY_HEADER, Checksum), 0, 4);
    std::uint32_t crc = crc32c(0xFFFFFFFFu, firstCopy.data(), kLogSectorSize);
    std::uint64_t descriptor = 0;
    for (std::uint64_t j = 0; j < sectors; ++j) {
      std::span<const std::byte, kLogSectorSize> sector(firstCopy);
      if (j > 0) {
        const auto next = Sector((start + j) % n);
        if (!next) return Outcome::kUnread;
        sector = *next;
        crc = crc32c(~crc, sector.data(), kLogSectorSize);
      }
      if (j < descriptorSectors) {
        for (std::uint32_t slot = j == 0 ? kLogHeaderSlots : 0; slot < kLogSlotsPerSector && descriptor < descriptors;
             ++slot, ++descriptor) {
          if (!TakeDescriptor(sector, slot, entry)) return Outcome::kInvalid;
        }
        // Every data descriptor has its sector, and nothing follows them.
        if (j + 1 == descriptorSectors && descriptorSectors + entry.dataSectors != sectors) return Outcome::kInvalid;
      } else if (!IsDataSector(sector, sequence)) {
        return Outcome::kInvalid;
      }
    }
    return crc == header->Checksum.value() ? Outcome::kValid : Outcome::kInvalid;
  }

 private:
  std::optional<std::span<const std::byte, kLogSectorSize>> Sector(std::uint64_t index) {
    auto sector = log_.Sector(index);
    if (!sector) unread_ = index;
    return sector;
  }

  static bool TakeDescriptor(std::span<const std::byte, kLogSectorSize> sector, std::uint32_t slot, Entry& entry) {
    const auto d =
        LoadRecord<LOG_DESCRIPTOR>(std::span<const std::byte>(sector), std::uint64_t{slot} * kLogDescriptorSize);
    if (!d || d->SequenceNumber.value() != entry.sequence) return false;
    const std::uint64_t fileOffset = d->FileOffset.value();
    if (fileOffset % kLogSectorSize != 0) return false;
    if (d->Signature == kZeroDescriptorSignature) {
      const std::uint64_t length = d->Length.value();
      if (length % kLogSectorSize != 0) return false;
      ++entry.zeroRanges;
      entry.zeroedBytes = EndOf(entry.zeroedBytes, length);
      entry.writeEnd = std::max(entry.writeEnd, EndOf(fileOffset, length));
      return true;
    }
    if (d->Signature == kDataDescriptorSignature) {
      ++entry.dataSectors;
      entry.writeEnd = std::max(entry.writeEnd, EndOf(fileOffset, kLogSectorSize));
      return true;
    }
    return false;
  }

  static bool IsDataSector(std::span<const std::byte, kLogSectorSize> sector, std::uint64_t sequence) {
    const auto head = LoadRecord<LOG_DATA_SECTOR_HEAD>(std::span<const std::byte>(sector));
    const auto low = LoadRecord<encoding::le_u32>(std::span<const std::byte>(sector), kDataSectorSequenceLowOffset);
    return head && low && head->Signature == kDataSectorSignature &&
           head->SequenceHigh.value() == static_cast<std::uint32_t>(sequence >> 32) &&
           low->value() == static_cast<std::uint32_t>(sequence);
  }

  LogSectors& log_;
  encoding::Guid guid_;
  std::optional<std::uint64_t> unread_;
};

// The sequence that ends at the run's last entry, when that entry's tail is
// the start of one of the run's entries.
std::optional<ActiveSequence> SequenceOf(const std::vector<Entry>& run) {
  const Entry& head = run.back();
  const auto tail =
      std::find_if(run.begin(), run.end(), [&](const Entry& e) { return e.start * kLogSectorSize == head.tail; });
  if (tail == run.end()) return std::nullopt;
  ActiveSequence sequence;
  sequence.first_sequence = tail->sequence;
  sequence.last_sequence = head.sequence;
  sequence.tail_offset = head.tail;
  sequence.head_offset = head.start * kLogSectorSize;
  sequence.flushed_file_offset = head.flushedFileOffset;
  sequence.last_file_offset = head.lastFileOffset;
  for (auto e = tail; e != run.end(); ++e) {
    ++sequence.entries;
    sequence.data_sectors += e->dataSectors;
    sequence.zero_ranges += e->zeroRanges;
    sequence.zeroed_bytes = EndOf(sequence.zeroed_bytes, e->zeroedBytes);
    sequence.highest_write_end = std::max(sequence.highest_write_end, e->writeEnd);
  }
  return sequence;
}

}  // namespace

LogScan FindActiveSequence(LogSectors& log, const encoding::Guid& logGuid) {
  LogScan scan;
  const std::uint64_t n = log.count();
  EntryReader reader(log, logGuid);
  std::vector<Entry> run;
  std::uint64_t position = 0;
  while (position < n) {
    Entry entry;
    Outcome outcome = reader.Read(position, entry);
    if (outcome == Outcome::kUnread) break;
    if (outcome == Outcome::kInvalid) {
      ++position;
      continue;
    }
    // The run: each next entry right after the last, one sequence number
    // higher, the whole run no longer than the log.
    run.clear();
    run.push_back(entry);
    std::uint64_t covered = entry.sectors;
    while (covered < n && run.back().sequence != UINT64_MAX) {
      Entry next;
      outcome = reader.Read((run.back().start + run.back().sectors) % n, next);
      if (outcome != Outcome::kValid) break;
      if (next.sequence != run.back().sequence + 1 || next.sectors > n - covered) break;
      covered += next.sectors;
      run.push_back(next);
    }
    if (outcome == Outcome::kUnread) break;
    if (auto sequence = SequenceOf(run);
        sequence && (!scan.active || sequence->last_sequence > scan.active->last_sequence)) {
      scan.active = sequence;
    }
    position += covered;
  }
  if (reader.unread()) {
    scan.active.reset();
    scan.unread_sector = reader.unread();
  }
  return scan;
}

}  // namespace vhdx_inspect::detail::vhdx
