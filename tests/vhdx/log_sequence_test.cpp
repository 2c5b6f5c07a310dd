// The log's active sequence over a log in memory: which sequence is active,
// what a replay would apply, the entries that are not valid, and the cost
// of a log crafted to make the scan work hard (sector reads counted).
#include "vhdx/log_sequence.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "support/log_entries.h"

namespace vhdx_test {
namespace {

using namespace testsupport;
using vhdx_inspect::detail::vhdx::ActiveSequence;
using vhdx_inspect::detail::vhdx::FindActiveSequence;
using vhdx_inspect::detail::vhdx::kLogSectorSize;
using vhdx_inspect::detail::vhdx::LogScan;
using vhdx_inspect::detail::vhdx::LogSectors;

const Guid kLogGuid = GuidFromString("0B7A3E51-6C2D-4F18-9A04-5E7D1C3B2A69");

vhdx_inspect::detail::encoding::Guid LibraryGuid(const Guid& guid) {
  vhdx_inspect::detail::encoding::Guid out;
  out.bytes = guid.bytes;
  return out;
}

// A log of `sectors` sectors in memory, which counts the reads and can
// refuse one sector.
class MemoryLog final : public LogSectors {
 public:
  explicit MemoryLog(std::uint64_t sectors) : bytes_(sectors * kLogSectorSize) {}

  std::uint64_t count() const override { return bytes_.size() / kLogSectorSize; }
  std::optional<std::span<const std::byte, kLogSectorSize>> Sector(std::uint64_t index) override {
    ++reads;
    if (index >= count() || (refused && *refused == index)) return std::nullopt;
    return std::span<const std::byte, kLogSectorSize>(bytes_.data() + index * kLogSectorSize, kLogSectorSize);
  }

  // Writes `bytes` from sector `at`, wrapping at the end.
  void Put(std::uint64_t at, const std::vector<std::byte>& bytes) {
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes_[(at * kLogSectorSize + i) % bytes_.size()] = bytes[i];
  }
  // Writes entries one after another from sector `at`; returns the next.
  std::uint64_t PutEntries(std::uint64_t at, const std::vector<LogEntry>& entries, const Guid& guid = kLogGuid) {
    for (const LogEntry& entry : entries) {
      const std::vector<std::byte> bytes = LogEntryBytes(guid, entry);
      Put(at, bytes);
      at = (at + bytes.size() / kLogSectorSize) % count();
    }
    return at;
  }
  std::vector<std::byte>& bytes() { return bytes_; }

  std::uint64_t reads = 0;
  std::optional<std::uint64_t> refused;

 private:
  std::vector<std::byte> bytes_;
};

LogEntry Entry(std::uint64_t sequence, std::uint64_t tailSector, std::vector<LogWrite> writes = {}) {
  LogEntry entry;
  entry.sequence = sequence;
  entry.tail = tailSector * kLogSectorSize;
  entry.flushedFileOffset = 4 * kMiB;
  entry.lastFileOffset = 4 * kMiB;
  entry.writes = std::move(writes);
  return entry;
}

TEST(LogSequence, ASequenceOfTwoEntriesAndWhatItsReplayApplies) {
  MemoryLog log(256);
  LogEntry second = Entry(8, 0, {{5 * kMiB, 0x11}});
  second.lastFileOffset = 5 * kMiB;
  log.PutEntries(0, {Entry(7, 0, {{4096, 0xAA}, {8192, 0, 3 * 4096}, {12288, 0xBB}}), second});
  const LogScan scan = FindActiveSequence(log, LibraryGuid(kLogGuid));
  ASSERT_TRUE(scan.active);
  EXPECT_EQ(scan.active->entries, 2u);
  EXPECT_EQ(scan.active->first_sequence, 7u);
  EXPECT_EQ(scan.active->last_sequence, 8u);
  EXPECT_EQ(scan.active->tail_offset, 0u);
  EXPECT_EQ(scan.active->head_offset, 3 * kLogSectorSize);  // entry 7: 1 descriptor sector, 2 data sectors
  EXPECT_EQ(scan.active->data_sectors, 3u);
  EXPECT_EQ(scan.active->zero_ranges, 1u);
  EXPECT_EQ(scan.active->zeroed_bytes, 3 * 4096u);
  EXPECT_EQ(scan.active->highest_write_end, 5 * kMiB + 4096);
  EXPECT_EQ(scan.active->last_file_offset, 5 * kMiB);
  EXPECT_FALSE(scan.unread_sector);
}

TEST(LogSequence, TheHighestHeadWins) {
  MemoryLog log(256);
  log.PutEntries(0, {Entry(3, 0), Entry(4, 0)});
  log.PutEntries(100, {Entry(9, 100)});
  log.PutEntries(50, {Entry(5, 50)});
  const LogScan scan = FindActiveSequence(log, LibraryGuid(kLogGuid));
  ASSERT_TRUE(scan.active);
  EXPECT_EQ(scan.active->first_sequence, 9u);
  EXPECT_EQ(scan.active->entries, 1u);
  EXPECT_EQ(scan.active->head_offset, 100 * kLogSectorSize);
}

// The head's tail may name an older entry of the run; entries before it are
// not part of the sequence.
TEST(LogSequence, TheSequenceStartsAtTheHeadsTail) {
  MemoryLog log(256);
  log.PutEntries(0, {Entry(1, 0), Entry(2, 0), Entry(3, 1), Entry(4, 1)});
  const LogScan scan = FindActiveSequence(log, LibraryGuid(kLogGuid));
  ASSERT_TRUE(scan.active);
  EXPECT_EQ(scan.active->entries, 3u);
  EXPECT_EQ(scan.active->first_sequence, 2u);
}

TEST(LogSequence, ASequenceWrapsAtTheLogsEnd) {
  MemoryLog log(256);
  // 3 sectors from sector 254: 254, 255 and 0; the next entry at sector 1.
  log.PutEntries(254, {Entry(20, 254, {{4096, 1}, {8192, 2}}), Entry(21, 254)});
  const LogScan scan = FindActiveSequence(log, LibraryGuid(kLogGuid));
  ASSERT_TRUE(scan.active);
  EXPECT_EQ(scan.active->entries, 2u);
  EXPECT_EQ(scan.active->first_sequence, 20u);
  EXPECT_EQ(scan.active->head_offset, kLogSectorSize);
}

// Every sector an entry, the sequence numbers rising all the way round: the
// run stops once it covers the log, instead of going round again.
TEST(LogSequence, ARunAsLongAsTheRing) {
  MemoryLog log(256);
  std::vector<LogEntry> entries;
  for (std::uint64_t s = 1; s <= 256; ++s) entries.push_back(Entry(s, 0));
  log.PutEntries(0, entries);
  const LogScan scan = FindActiveSequence(log, LibraryGuid(kLogGuid));
  ASSERT_TRUE(scan.active);
  EXPECT_EQ(scan.active->entries, 256u);
  EXPECT_EQ(scan.active->last_sequence, 256u);
  EXPECT_LE(log.reads, 3 * 256u);
}

struct Broken {
  const char* name;
  void (*damage)(MemoryLog&);
};

const Broken kBroken[] = {
    {"Empty", [](MemoryLog&) {}},
    {"WrongChecksum",
     [](MemoryLog& log) {
       log.PutEntries(0, {Entry(1, 0, {{4096, 7}})});
       log.bytes()[kLogSectorSize + 100] ^= std::byte{1};
     }},
    {"AnotherLogGuid",
     [](MemoryLog& log) { log.PutEntries(0, {Entry(1, 0)}, GuidFromString("11111111-2222-3333-4444-555555555555")); }},
    {"SequenceNumberZero", [](MemoryLog& log) { log.PutEntries(0, {Entry(0, 0)}); }},
    {"TailOutsideTheRun", [](MemoryLog& log) { log.PutEntries(0, {Entry(1, 2)}); }},
    {"TailPastTheLog", [](MemoryLog& log) { log.PutEntries(0, {Entry(1, 256)}); }},
    {"FlushedOffsetNotAMultipleOf1MiB",
     [](MemoryLog& log) {
       LogEntry entry = Entry(1, 0);
       entry.flushedFileOffset = 4096;
       log.PutEntries(0, {entry});
     }},
    {"DataSectorWithAnotherSequence",
     [](MemoryLog& log) {
       // Entry 1's data sector is replaced by entry 2's.
       const std::vector<std::byte> other = LogEntryBytes(kLogGuid, Entry(2, 0, {{4096, 7}}));
       log.PutEntries(0, {Entry(1, 0, {{4096, 7}})});
       std::memcpy(log.bytes().data() + kLogSectorSize, other.data() + kLogSectorSize, kLogSectorSize);
     }},
};

class LogSequenceBroken : public testing::TestWithParam<Broken> {};

TEST_P(LogSequenceBroken, GivesNoSequence) {
  MemoryLog log(256);
  GetParam().damage(log);
  const LogScan scan = FindActiveSequence(log, LibraryGuid(kLogGuid));
  EXPECT_FALSE(scan.active);
  EXPECT_FALSE(scan.unread_sector);
}

INSTANTIATE_TEST_SUITE_P(Entries, LogSequenceBroken, testing::ValuesIn(kBroken),
                         [](const testing::TestParamInfo<Broken>& info) { return info.param.name; });

TEST(LogSequence, ASectorThatCannotBeReadStopsTheScan) {
  MemoryLog log(256);
  log.PutEntries(0, {Entry(1, 0, {{4096, 7}})});
  log.refused = 1;
  const LogScan scan = FindActiveSequence(log, LibraryGuid(kLogGuid));
  EXPECT_FALSE(scan.active);
  EXPECT_EQ(scan.unread_sector, 1u);
}

// Every sector a header that claims the whole log, with descriptors that
// would fill it: each fails at its second sector, so the scan reads each
// sector a few times, not once for every sector before it.
TEST(LogSequence, HeadersClaimingTheWholeLogCostLinearReads) {
  constexpr std::uint64_t kSectors = 4096;  // a 16 MiB log
  MemoryLog log(kSectors);
  for (std::uint64_t s = 0; s < kSectors; ++s) {
    LogEntry entry = Entry(s + 1, 0);
    std::vector<std::byte> bytes = LogEntryBytes(kLogGuid, entry);
    // EntryLength: the whole log; DescriptorCount: enough to fill it.
    const std::uint64_t length = kSectors * kLogSectorSize;
    for (int i = 0; i < 4; ++i) bytes[8 + i] = static_cast<std::byte>(length >> (8 * i));
    const std::uint32_t descriptors = 126 + 128 * (kSectors - 1);
    for (int i = 0; i < 4; ++i) bytes[24 + i] = static_cast<std::byte>(descriptors >> (8 * i));
    for (std::size_t d = 64; d < kLogSectorSize; d += 32) {
      std::memcpy(bytes.data() + d, "zero", 4);
      for (int i = 0; i < 8; ++i) bytes[d + 24 + i] = static_cast<std::byte>((s + 1) >> (8 * i));
    }
    log.Put(s, bytes);
  }
  const LogScan scan = FindActiveSequence(log, LibraryGuid(kLogGuid));
  EXPECT_FALSE(scan.active);
  EXPECT_LE(log.reads, 3 * kSectors);
}

}  // namespace
}  // namespace vhdx_test
