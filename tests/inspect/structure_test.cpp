// The structure pass: one table of faults, each made by one edit of the
// sample image, with the finding it must give (check, severity, sentence),
// the verdict and the failure it leaves; clean images that give none; and
// an inspector without the pass, which finds what it always found.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "support/log_entries.h"
#include "support/plugin_image.h"
#include "vhdx_inspect/inspect.h"
#include "views/json/json_report.h"
#include "views/text/messages.h"

namespace inspect_test {
namespace {

using namespace testsupport;
using vhdx_inspect::Check;
using vhdx_inspect::Severity;
using vhdx_inspect::Verdict;

// The sample: 1 GiB at 32 MiB blocks and 512-byte sectors (32 payload
// blocks, chunk ratio 128, so 32 BAT entries), log at 1 MiB, metadata
// region at 2 MiB, BAT at 3 MiB, each 1 MiB; 6 MiB in all.
constexpr std::uint64_t kSampleSize = 6 * kMiB;

vhdx_inspect::Inspection Checked(const PluginImage& image) {
  vhdx_inspect::Inspector inspector(vhdx_inspect::ReadPolicy::kExaminedExtents, vhdx_inspect::Structure::kChecked);
  return inspector.Inspect(image.bytes(), "image.vhdx");
}

// Every finding, one line each, for a failure message.
std::string AllFindings(const vhdx_inspect::Inspection& inspection) {
  std::string all;
  for (const auto& f : inspection.structure_findings)
    all += std::string(vhdx_inspect::CheckName(f.check)) + ": " + f.description + "\n";
  return all;
}

struct FaultCase {
  std::string name;
  std::function<void(ImageDescription&)> describe;
  std::function<void(PluginImage&)> damage;
  Check check;
  Severity severity;
  std::string description;
  Verdict verdict;
  // The inspection's failure: the finding itself when empty and a failure.
  std::optional<Check> failure;
};

std::ostream& operator<<(std::ostream& out, const FaultCase& c) { return out << c.name; }

class StructureFaults : public testing::TestWithParam<FaultCase> {};

TEST_P(StructureFaults, GiveTheirFinding) {
  const FaultCase& c = GetParam();
  ImageDescription d;
  if (c.describe) c.describe(d);
  PluginImage image = PluginImage::Build(d);
  if (c.damage) c.damage(image);
  const vhdx_inspect::Inspection inspection = Checked(image);

  ASSERT_EQ(inspection.structure_findings.size(), 1u) << AllFindings(inspection);
  const vhdx_inspect::StructureFinding& finding = inspection.structure_findings.front();
  EXPECT_STREQ(vhdx_inspect::CheckName(finding.check), vhdx_inspect::CheckName(c.check));
  EXPECT_EQ(finding.severity, c.severity);
  EXPECT_EQ(finding.description, c.description);
  EXPECT_EQ(inspection.verdict, c.verdict);
  if (c.failure) {
    ASSERT_TRUE(inspection.failure);
    EXPECT_STREQ(vhdx_inspect::CheckName(inspection.failure->check), vhdx_inspect::CheckName(*c.failure));
  } else if (c.severity == Severity::kFailure) {
    ASSERT_TRUE(inspection.failure);
    EXPECT_EQ(inspection.failure->check, c.check);
    EXPECT_EQ(inspection.failure->description, c.description);
    EXPECT_EQ(vhdx_inspect::views::text::FailureMessage(inspection), c.description) << "the text view has no line";
  } else {
    EXPECT_FALSE(inspection.failure);
  }
}

// Makes the stored checksum of a header or region table copy wrong, nothing
// else.
void BreakHeaderChecksum(PluginImage& image, int header) {
  const std::uint64_t at = image.layout().header(header);
  image.Put(at, header_field::kChecksum, image.Get(at, header_field::kChecksum) ^ 0x1);
}

void BreakRegionTable(PluginImage& image, int copy) { image.Put8(image.layout().regionTable(copy) + 1000, 0x5A); }

const std::string kCutShort = ", so it was cut short (copy it again from its source).";

const Guid kLogGuid = GuidFromString("0B7A3E51-6C2D-4F18-9A04-5E7D1C3B2A69");

void WithLogGuid(ImageDescription& d) { d.logGuid = kLogGuid; }

LogEntry Entry(std::uint64_t sequence, std::uint64_t tail, std::vector<LogWrite> writes = {}) {
  LogEntry entry;
  entry.sequence = sequence;
  entry.tail = tail;
  entry.flushedFileOffset = kSampleSize;
  entry.lastFileOffset = kSampleSize;
  entry.writes = std::move(writes);
  return entry;
}

// Two entries: 2 data sectors, one of them past the file's end, and one
// range of 8 KiB zeroed there too.
void PutTwoEntries(PluginImage& image) {
  PutLogEntries(
      image, 0,
      {Entry(10, 0, {{kSampleSize - 4096, 0xAB}, {kSampleSize, 0, 8192}}), Entry(11, 0, {{kSampleSize + 8192, 0xCD}})});
}

const std::string kNoSequence =
    "The header says the log holds writes to replay, but the log (offset 1048576, 1048576 bytes) holds no valid "
    "sequence of entries, so the image cannot be brought to a consistent state (restore it from a backup).";

const FaultCase kFaults[] = {
    // The five edits of the issue that a scan had passed as sound.
    {"PresentBlockPastTheEnd",
     {},
     [](PluginImage& i) { i.PutBatEntry(0, kBlockFullyPresent, 1 * kGiB); },
     Check::kFileTruncated,
     Severity::kFailure,
     "The file ends at byte 6291456 but should reach to byte 1107296256: its one present block lies past its "
     "end" +
         kCutShort,
     Verdict::kCorrupt,
     std::nullopt},
    {"PresentBlockOnTheMetadataRegion",
     {},
     [](PluginImage& i) {
       i.bytes().resize(64 * kMiB);
       i.PutBatEntry(0, kBlockFullyPresent, 2 * kMiB);
     },
     Check::kBatBlockOverlap,
     Severity::kFailure,
     "BAT entry 0 (state 6) puts its payload block at offset 2097152, on the metadata region.",
     Verdict::kCorrupt,
     std::nullopt},
    {"ReservedState",
     {},
     [](PluginImage& i) { i.PutBatEntry(0, 4, 0); },
     Check::kBatState,
     Severity::kFailure,
     "BAT entry 0 (a payload block entry) is in state 4, which the format does not allow for it in a disk without "
     "a parent.",
     Verdict::kCorrupt,
     std::nullopt},
    {"OtherHeaderDamaged",
     {},
     [](PluginImage& i) { BreakHeaderChecksum(i, 1); },
     Check::kHeaderCopyDamaged,
     Severity::kWarning,
     "Header 1 has a wrong checksum: the file still opens from header 2, but one more fault there would leave no "
     "header.",
     Verdict::kSound,
     std::nullopt},
    {"RegionTableCopy2Damaged",
     {},
     [](PluginImage& i) { BreakRegionTable(i, 2); },
     Check::kRegionTableCopyDamaged,
     Severity::kWarning,
     "Region table copy 2 has a wrong checksum: the file still opens from copy 1, but one more fault there would "
     "leave no region table.",
     Verdict::kSound,
     std::nullopt},

    // What no other reader finds.
    {"TwoBlocksOnOneOffset",
     {},
     [](PluginImage& i) {
       i.bytes().resize(kSampleSize + 32 * kMiB);
       i.PutBatEntry(0, kBlockFullyPresent, kSampleSize);
       i.PutBatEntry(5, kBlockFullyPresent, kSampleSize);
     },
     Check::kBatBlockOverlap,
     Severity::kFailure,
     "BAT entry 5 (state 6) puts its payload block at offset 6291456, on a block that an earlier entry locates.",
     Verdict::kCorrupt,
     std::nullopt},
    {"ReservedBits",
     {},
     [](PluginImage& i) { i.Put64(i.layout().batEntry(3), 0x8); },
     Check::kBatReservedBits,
     Severity::kFailure,
     "BAT entry 3 has reserved bits set (value 8).",
     Verdict::kCorrupt,
     std::nullopt},
    {"PartiallyPresentWithoutParent",
     {},
     [](PluginImage& i) { i.PutBatEntry(1, kBlockPartiallyPresent, 0); },
     Check::kBatState,
     Severity::kFailure,
     "BAT entry 1 (a payload block entry) is in state 7, which the format does not allow for it in a disk without "
     "a parent.",
     Verdict::kCorrupt,
     std::nullopt},
    {"BatRegionTooSmall",
     {},
     [](PluginImage& i) {
       i.PutInMetadataItem(kVirtualDiskSizeItem, {0, 8}, std::uint64_t{64} << 40);
     },
     Check::kBatRegionSize,
     Severity::kFailure,
     "The BAT region holds 1048576 bytes, too small for the 2113535 entries (16908280 bytes) that the virtual disk "
     "size needs.",
     Verdict::kCorrupt,
     std::nullopt},
    {"SameSequenceNumber",
     [](ImageDescription& d) { d.header1SequenceNumber = 2; },
     {},
     Check::kHeaderSameSequence,
     Severity::kWarning,
     "Both header copies carry sequence number 2, so the format names neither as the current one.",
     Verdict::kSound,
     std::nullopt},
    {"RegionTableCopiesDiffer",
     {},
     [](PluginImage& i) { i.PutInRegionTable(2, RegionEntry(1, region_entry_field::kRequired), 0); },
     Check::kRegionTableCopiesDiffer,
     Severity::kWarning,
     "Region table copy 2 differs from copy 1, so the two cannot stand in for each other.",
     Verdict::kSound,
     std::nullopt},
    {"RegionTableCopy1Damaged",
     {},
     [](PluginImage& i) { BreakRegionTable(i, 1); },
     Check::kRegionTableCopyDamaged,
     Severity::kFailure,
     "Region table copy 1 has a wrong checksum: readers that go by copy 1 refuse the file.",
     Verdict::kCorrupt,
     std::nullopt},
    {"LogOnTheMetadataRegion",
     {},
     [](PluginImage& i) { i.PutInHeader(2, header_field::kLogOffset, 2 * kMiB); },
     Check::kFileOverlap,
     Severity::kFailure,
     "The log (offset 2097152, 1048576 bytes) overlaps the metadata region (offset 2097152, 1048576 bytes).",
     Verdict::kCorrupt,
     std::nullopt},
    {"LogNotAligned",
     {},
     [](PluginImage& i) { i.PutInHeader(2, header_field::kLogOffset, kMiB + 4096); },
     Check::kHeaderLogPlace,
     Severity::kFailure,
     "Header 2 places the log at offset 1052672 with length 1048576; both should be multiples of 1 MiB, beyond the 1 "
     "MiB header section.",
     Verdict::kCorrupt,
     std::nullopt},
    {"HeaderVersion",
     {},
     [](PluginImage& i) { i.PutInHeader(2, header_field::kVersion, 2); },
     Check::kHeaderVersion,
     Severity::kFailure,
     "Header 2, the current one, has Version 2; it should be 1.",
     Verdict::kCorrupt,
     std::nullopt},
    {"PhysicalSectorSize",
     {},
     [](PluginImage& i) {
       i.PutInMetadataItem(kPhysicalSectorSizeItem, {0, 4}, 1000);
     },
     Check::kMetadataSectorSize,
     Severity::kFailure,
     "The Physical Sector Size is 1000 bytes; it should be 512 or 4096 bytes.",
     Verdict::kCorrupt,
     std::nullopt},
    {"UnknownRequiredRegion",
     {},
     [](PluginImage& i) {
       i.PutInRegionTables(region_field::kEntryCount, 3);
       i.PutInRegionTables(RegionEntry(2, region_entry_field::kGuid),
                           GuidFromString("11111111-2222-3333-4444-555555555555"));
       i.PutInRegionTables(RegionEntry(2, region_entry_field::kFileOffset), 5 * kMiB);
       i.PutInRegionTables(RegionEntry(2, region_entry_field::kLength), kMiB);
       i.PutInRegionTables(RegionEntry(2, region_entry_field::kRequired), 1);
     },
     Check::kRegionTableUnknownRequired,
     Severity::kFailure,
     "Region table entry 2 names a region this format does not know and marks it required, so a conforming reader "
     "must refuse the file.",
     Verdict::kCorrupt,
     Check::kRegionTableEntryCount},
    {"MetadataItemOverlap",
     {},
     [](PluginImage& i) { i.PutInMetadataRegion(MetadataEntry(4, metadata_entry_field::kOffset), 0x10000 + 22); },
     Check::kMetadataItemPlace,
     Severity::kFailure,
     "Metadata items 3 and 4 overlap in the metadata region.",
     Verdict::kCorrupt,
     std::nullopt},
    // A VHDX of another program keeps its verdict and gets its findings.
    {"BlockSizeNotAPowerOfTwo",
     {},
     [](PluginImage& i) { i.PutInMetadataItem(kFileParametersItem, file_parameters_field::kBlockSize, 3 * kMiB); },
     Check::kMetadataBlockSize,
     Severity::kFailure,
     "The block size is 3145728 bytes; it should be a power of two from 1 MiB to 256 MiB.",
     Verdict::kCorrupt,
     Check::kBlockSize},
    // The log, when LogGuid is set.
    {"LogToReplay", WithLogGuid, PutTwoEntries, Check::kLogReplayPending, Severity::kWarning,
     "The log holds 2 entries (sequence numbers 10 to 11) of writes that were never applied to the file: a replay "
     "would write 2 sectors of 4096 bytes, zero 1 range and leave the file at 6303744 bytes. Open the image once, "
     "read-write, in the system that made it, so that it replays the log, and inspect it again.",
     Verdict::kSound, std::nullopt},
    {"LogGuidOverAnEmptyLog",
     WithLogGuid,
     {},
     Check::kLogNoValidSequence,
     Severity::kFailure,
     kNoSequence,
     Verdict::kCorrupt,
     std::nullopt},
    {"LogEntryWithADamagedDataSector", WithLogGuid,
     [](PluginImage& i) {
       PutTwoEntries(i);
       i.Put8(i.layout().log + 4096 + 200, 0);
     },
     Check::kLogNoValidSequence, Severity::kFailure, kNoSequence, Verdict::kCorrupt, std::nullopt},
    {"LogEntriesOfAnotherLog", WithLogGuid,
     [](PluginImage& i) {
       PutInLog(i, 0, LogEntryBytes(GuidFromString("11111111-2222-3333-4444-555555555555"), Entry(1, 0)));
     },
     Check::kLogNoValidSequence, Severity::kFailure, kNoSequence, Verdict::kCorrupt, std::nullopt},
    {"NotPluginCutShort", [](ImageDescription& d) { d.creator = u"another program"; },
     [](PluginImage& i) { i.PutBatEntry(2, kBlockFullyPresent, 1 * kGiB); }, Check::kFileTruncated, Severity::kFailure,
     "The file ends at byte 6291456 but should reach to byte 1107296256: its one present block lies past its "
     "end" +
         kCutShort,
     Verdict::kNotPlugin, Check::kFileIdentifierCreator},
};

INSTANTIATE_TEST_SUITE_P(Sample, StructureFaults, testing::ValuesIn(kFaults),
                         [](const testing::TestParamInfo<FaultCase>& info) { return info.param.name; });

// Hostile claims cost no more than the file holds: a virtual size past
// 64 TiB is refused before any BAT is read, and a BAT region of nearly 4 GiB
// in a 6 MiB file is read only as far as the file goes.
TEST(StructureHostile, AVirtualSizePast64TiBReadsNoBat) {
  PluginImage image = PluginImage::Build({});
  image.PutInMetadataItem(kVirtualDiskSizeItem, {0, 8}, std::uint64_t{1} << 57);  // 2^32 blocks of 32 MiB
  const vhdx_inspect::Inspection inspection = Checked(image);
  ASSERT_EQ(inspection.structure_findings.size(), 1u) << AllFindings(inspection);
  EXPECT_EQ(inspection.structure_findings[0].check, Check::kMetadataDiskSize);
  EXPECT_EQ(inspection.structure_findings[0].description,
            "The virtual disk size is 144115188075855872 bytes; it should be a multiple of the logical sector size "
            "and at most 64 TiB.");
  EXPECT_FALSE(inspection.bat);
}

TEST(StructureHostile, AHugeBatRegionIsReadOnlyInsideTheFile) {
  PluginImage image = PluginImage::Build({});
  image.PutInMetadataItem(kVirtualDiskSizeItem, {0, 8}, std::uint64_t{64} << 40);
  image.PutInRegionTables(RegionEntry(0, region_entry_field::kLength), 0xFFF00000u);
  // The data area after the BAT's first 1 MiB would read as entries: zeros.
  image.bytes().resize(4 * kMiB);
  image.bytes().resize(kSampleSize);
  const vhdx_inspect::Inspection inspection = Checked(image);
  ASSERT_EQ(inspection.structure_findings.size(), 1u) << AllFindings(inspection);
  EXPECT_EQ(inspection.structure_findings[0].check, Check::kFileTruncated);
  EXPECT_EQ(inspection.structure_findings[0].description,
            "The file ends at byte 6291456 but should reach to byte 4297064448: the BAT region lies past its end" +
                kCutShort);
  ASSERT_TRUE(inspection.bat);
  EXPECT_EQ(inspection.bat->entries, 2113535u);
  EXPECT_EQ(inspection.bat->entries_read, 3 * kMiB / 8);
}

// A file shorter than the log says it was when the entries were written:
// cut short, and the replay it needs is told too.
TEST(StructureLog, AFileShorterThanTheFlushedOffset) {
  ImageDescription d;
  d.logGuid = kLogGuid;
  PluginImage image = PluginImage::Build(d);
  LogEntry entry = Entry(3, 0);
  entry.flushedFileOffset = 8 * kMiB;
  entry.lastFileOffset = 8 * kMiB;
  PutLogEntries(image, 0, {entry});
  const vhdx_inspect::Inspection inspection = Checked(image);
  ASSERT_EQ(inspection.structure_findings.size(), 2u) << AllFindings(inspection);
  EXPECT_EQ(inspection.structure_findings[0].check, Check::kLogFlushedOffset);
  EXPECT_EQ(inspection.structure_findings[0].description,
            "The file ends at byte 6291456, before byte 8388608, which the log says the file reached when it was "
            "written, so it was cut short (copy it again from its source).");
  EXPECT_EQ(inspection.structure_findings[1].check, Check::kLogReplayPending);
  EXPECT_EQ(inspection.verdict, Verdict::kCorrupt);
  ASSERT_TRUE(inspection.failure);
  EXPECT_EQ(inspection.failure->check, Check::kLogFlushedOffset);
}

TEST(StructureLog, ReplayFacts) {
  ImageDescription d;
  d.logGuid = kLogGuid;
  PluginImage image = PluginImage::Build(d);
  PutTwoEntries(image);
  const vhdx_inspect::Inspection inspection = Checked(image);
  ASSERT_TRUE(inspection.structure);
  EXPECT_EQ(inspection.structure->log_state, "replay_pending");
  EXPECT_EQ(inspection.structure->log_entries, 2u);
  EXPECT_EQ(inspection.structure->log_first_sequence, 10u);
  EXPECT_EQ(inspection.structure->log_last_sequence, 11u);
  EXPECT_EQ(inspection.structure->log_data_sectors, 2u);
  EXPECT_EQ(inspection.structure->log_zero_ranges, 1u);
  EXPECT_EQ(inspection.structure->log_file_size_after_replay, kSampleSize + 12288);
  const auto object = vhdx_inspect::views::json::JsonReport(inspection);
  EXPECT_EQ(object["structure"]["log_state"], "replay_pending");
  EXPECT_EQ(object["structure"]["log_entries"], 2);
}

// A log the current header cannot place, or one past the file's end, is
// not read: its place is the finding.
TEST(StructureLog, ALogOutsideTheFileIsNotRead) {
  ImageDescription d;
  d.logGuid = kLogGuid;
  PluginImage image = PluginImage::Build(d);
  image.PutInHeader(2, header_field::kLogOffset, 64 * kMiB);
  const vhdx_inspect::Inspection inspection = Checked(image);
  ASSERT_EQ(inspection.structure_findings.size(), 1u) << AllFindings(inspection);
  EXPECT_EQ(inspection.structure_findings[0].check, Check::kFileTruncated);
  ASSERT_TRUE(inspection.structure);
  EXPECT_EQ(inspection.structure->log_state, "not_examined");
}

// The most entries a valid virtual size can ask for (64 TiB at 1 MiB
// blocks: 2^26 payload blocks with a sector bitmap entry after every 4096 of
// them but the last, in a disk without a parent) in a file of 4 MiB:
// the BAT is read only as far as its region and the file go.
TEST(StructureHostile, ATinyFileWhoseBatClaimsTheMostEntries) {
  ImageDescription d;
  d.blockSize = static_cast<std::uint32_t>(kMiB);
  PluginImage image = PluginImage::Build(d);
  image.PutInMetadataItem(kVirtualDiskSizeItem, {0, 8}, std::uint64_t{64} << 40);
  image.bytes().resize(4 * kMiB);
  const vhdx_inspect::Inspection inspection = Checked(image);
  ASSERT_TRUE(inspection.bat);
  EXPECT_EQ(inspection.bat->entries, (std::uint64_t{1} << 26) + ((std::uint64_t{1} << 26) - 1) / 4096);
  EXPECT_EQ(inspection.bat->entries_read, kMiB / 8);
  ASSERT_FALSE(inspection.structure_findings.empty()) << AllFindings(inspection);
  EXPECT_EQ(inspection.structure_findings[0].check, Check::kBatRegionSize) << AllFindings(inspection);
  EXPECT_EQ(inspection.verdict, Verdict::kCorrupt);
}

// The log, the BAT and the metadata region all at one place: one overlap
// named, and nothing read twice over or out of bounds.
TEST(StructureHostile, EveryRegionOnTopOfEveryOther) {
  ImageDescription d;
  d.logGuid = kLogGuid;
  PluginImage image = PluginImage::Build(d);
  image.PutInRegionTables(RegionEntry(0, region_entry_field::kFileOffset), 2 * kMiB);
  image.PutInHeader(2, header_field::kLogOffset, 2 * kMiB);
  const vhdx_inspect::Inspection inspection = Checked(image);
  std::vector<Check> checks;
  for (const auto& f : inspection.structure_findings) checks.push_back(f.check);
  EXPECT_NE(std::find(checks.begin(), checks.end(), Check::kFileOverlap), checks.end()) << AllFindings(inspection);
  EXPECT_EQ(inspection.verdict, Verdict::kCorrupt);
}

// Entries that chain all the way round the ring, each tail naming the entry
// after it: the scan ends, with the sequence from the head's tail.
TEST(StructureHostile, ALogWhoseEntriesChainInALoop) {
  ImageDescription d;
  d.logGuid = kLogGuid;
  PluginImage image = PluginImage::Build(d);
  std::vector<LogEntry> entries;
  for (std::uint64_t s = 0; s < 256; ++s) entries.push_back(Entry(s + 1, (s + 1) % 256 * 4096));
  PutLogEntries(image, 0, entries);
  const vhdx_inspect::Inspection inspection = Checked(image);
  ASSERT_TRUE(inspection.structure);
  // The head (sequence 256, at sector 255) names sector 0: all 256 entries.
  EXPECT_EQ(inspection.structure->log_state, "replay_pending");
  EXPECT_EQ(inspection.structure->log_entries, 256u);
}

// Images whose container is whole give no finding, and their facts.
TEST(StructureClean, SampleGivesNoFindingAndItsFacts) {
  const vhdx_inspect::Inspection inspection = Checked(PluginImage::Build({}));
  EXPECT_EQ(inspection.verdict, Verdict::kSound);
  EXPECT_TRUE(inspection.structure_findings.empty());
  ASSERT_TRUE(inspection.structure);
  EXPECT_EQ(inspection.structure->file_size, kSampleSize);
  EXPECT_TRUE(inspection.structure->headers[1].current);
  EXPECT_FALSE(inspection.structure->headers[0].current);
  EXPECT_TRUE(inspection.structure->region_tables[1].same_as_copy_1);
  EXPECT_EQ(inspection.structure->log_state, "empty");
  ASSERT_TRUE(inspection.bat);
  EXPECT_EQ(inspection.bat->entries, 32u);
  EXPECT_EQ(inspection.bat->entries_read, 32u);
  EXPECT_EQ(inspection.bat->not_present, 32u);
  EXPECT_TRUE(inspection.bat->present_blocks.empty());
}

TEST(StructureClean, PresentBlocksAreExtents) {
  ImageDescription d;
  // Entries 0 and 1 side by side, entry 7 apart: two extents.
  d.batEntries = {{0, kBlockFullyPresent, kSampleSize},
                  {1, kBlockFullyPresent, kSampleSize + 32 * kMiB},
                  {7, kBlockFullyPresent, kSampleSize + 96 * kMiB},
                  {9, 2, 0}};
  const vhdx_inspect::Inspection inspection = Checked(PluginImage::Build(d));
  EXPECT_EQ(inspection.verdict, Verdict::kSound);
  EXPECT_TRUE(inspection.structure_findings.empty());
  ASSERT_TRUE(inspection.bat);
  EXPECT_EQ(inspection.bat->fully_present, 3u);
  EXPECT_EQ(inspection.bat->zero, 1u);
  EXPECT_EQ(inspection.bat->not_present, 28u);
  const std::vector<vhdx_inspect::ExtentRecord> expected = {{kSampleSize, 64 * kMiB},
                                                            {kSampleSize + 96 * kMiB, 32 * kMiB}};
  EXPECT_EQ(inspection.bat->present_blocks, expected);
}

TEST(StructureClean, VhdxWithoutThePluginItemGivesNoFinding) {
  ImageDescription d;
  d.pluginItem = false;
  const vhdx_inspect::Inspection inspection = Checked(PluginImage::Build(d));
  EXPECT_NE(inspection.verdict, Verdict::kSound);
  EXPECT_TRUE(inspection.structure_findings.empty());
  EXPECT_TRUE(inspection.structure);
  EXPECT_TRUE(inspection.bat);
}

// An inspector made without the pass reads no BAT and finds what it always
// found: a block past the end passes as before.
TEST(StructureUnchecked, FindsWhatItAlwaysFound) {
  PluginImage image = PluginImage::Build({});
  image.PutBatEntry(0, kBlockFullyPresent, 1 * kGiB);
  vhdx_inspect::Inspector inspector;
  const vhdx_inspect::Inspection inspection = inspector.Inspect(image.bytes(), "image.vhdx");
  EXPECT_EQ(inspection.verdict, Verdict::kSound);
  EXPECT_TRUE(inspection.structure_findings.empty());
  EXPECT_FALSE(inspection.structure);
  EXPECT_FALSE(inspection.bat);
}

// The JSON object carries each finding with its optional fields.
TEST(StructureJson, FindingsAndFacts) {
  PluginImage image = PluginImage::Build({});
  image.PutBatEntry(0, 4, 0);
  const auto object = vhdx_inspect::views::json::JsonReport(Checked(image));
  ASSERT_EQ(object["structure_findings"].size(), 1u);
  const auto& finding = object["structure_findings"][0];
  EXPECT_EQ(finding["check"], "bat.state");
  EXPECT_EQ(finding["severity"], "failure");
  EXPECT_EQ(finding["index"], 0);
  EXPECT_EQ(finding["found"], 4);
  EXPECT_FALSE(finding.contains("expected"));
  EXPECT_EQ(object["failure"]["message"], finding["description"]);
  EXPECT_EQ(object["bat"]["reserved_state"], 1);
  EXPECT_EQ(object["structure"]["file_size"], kSampleSize);
}

}  // namespace
}  // namespace inspect_test
