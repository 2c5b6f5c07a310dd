// The partition tables of an image as the built binary prints them: the three
// size lines, the protective MBR, the primary GPT, the backup GPT and the
// verification headings; the checks on the sizes that the plugin item gives
// the partition-table area and the trailer; and a failed read of the data
// area. The number base that one image's report leaves to the next image is
// in container_report_test.cpp.
#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "partition_expected.h"
#include "run_tool.h"
#include "support/plugin_image.h"

namespace e2e {
namespace {

using namespace testsupport;

constexpr std::int64_t kInt64Max = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kInt64Min = std::numeric_limits<std::int64_t>::min();

// A distinct, non-zero unique partition GUID for entry `i`.
Guid UniqueGuid(int i) {
  Guid g;
  for (std::size_t b = 0; b < g.bytes.size(); ++b) g.bytes[b] = static_cast<std::uint8_t>(0x11 * (b + 1) + i);
  g.bytes[0] = static_cast<std::uint8_t>(i + 1);
  return g;
}

// The whole output of the sample image, with every value of the partition
// tables written out: at 512-byte sectors the disk has N = 0x200000 sectors
// and one 16384-byte entry array takes 32 of them, at 4096-byte sectors
// N = 0x40000 and the array takes 4.
TEST(PartitionTables, WholeOutputOfTheSampleImageAtBothSectorSizes) {
  struct SampleCase {
    std::uint32_t sectorSize;
    std::uint64_t areaSize, trailerLength;
    std::uint64_t lastLba, firstUsableLba, lastUsableLba, backupEntriesLba;
    std::vector<EntryText> entries;
  };
  const SampleCase cases[] = {
      {512,
       0x4400,
       0x4200,
       0x1fffff,
       0x22,
       0x1fffde,
       0x1fffdf,
       {{"EFI system partition", 0x800, 0x327ff, 0x1, "EFI system partition"},
        {"Microsoft reserved partition", 0x32800, 0x3a7ff, 0, "Microsoft reserved partition"},
        {"Data partition", 0x3a800, 0x1ff7ff, 0, "Basic data partition"}}},
      {4096,
       0x6000,
       0x5000,
       0x3ffff,
       0x6,
       0x3fffa,
       0x3fffb,
       {{"EFI system partition", 0x100, 0x64ff, 0x1, "EFI system partition"},
        {"Microsoft reserved partition", 0x6500, 0x74ff, 0, "Microsoft reserved partition"},
        {"Data partition", 0x7500, 0x3feff, 0, "Basic data partition"}}},
  };
  for (const SampleCase& c : cases) {
    SCOPED_TRACE(c.sectorSize);
    ImageDescription d;
    d.logicalSectorSize = c.sectorSize;
    d.partitions = StandardPartitions(c.sectorSize, d.virtualDiskSize);
    const PluginImage image = PluginImage::Build(d);
    const Layout& L = image.layout();
    ScratchDirectory scratch;
    const ToolRun run = InspectImage(image, scratch, "sample.vhdx");

    const auto crc = [&](std::uint64_t header, Field field) { return image.Get(header, field); };
    const GptHeaderText primary{"EFI PART",
                                0x10000,
                                0x5c,
                                crc(L.primaryGptHeader, gpt_header_field::kHeaderCrc32),
                                0x1,
                                c.lastLba,
                                c.firstUsableLba,
                                c.lastUsableLba,
                                0x2,
                                0x80,
                                0x80,
                                crc(L.primaryGptHeader, gpt_header_field::kPartitionEntryArrayCrc32)};
    const GptHeaderText backup{"EFI PART",
                               0x10000,
                               0x5c,
                               crc(L.backupGptHeader, gpt_header_field::kHeaderCrc32),
                               c.lastLba,
                               0x1,
                               c.firstUsableLba,
                               c.lastUsableLba,
                               c.backupEntriesLba,
                               0x80,
                               0x80,
                               crc(L.backupGptHeader, gpt_header_field::kPartitionEntryArrayCrc32)};
    const MbrRecordText protective{false, 0, 0, 0x2, 0xee, 0xff, 0x3ff, 0x3f, 0x1, c.lastLba};

    const std::string expected =
        ContainerReport(ReportOf(image, scratch / "sample.vhdx")) + "GPT Header size:    " + Hex(c.areaSize) + "\n" +
        "GPT Trailer size:   " + Hex(c.trailerLength) + "\n" + "GPT Trailer offset: 0x100000\n" +
        MbrReport(0, {protective, {}, {}, {}}) + "\n" + "GPT EFI Header and partition entries\n" +
        EfiHeaderReport(primary) + EntriesReport(c.entries) + "\n" + "GPT trailer partition entries and EFI Header\n" +
        EntriesReport(c.entries) + EfiHeaderReport(backup) +
        "\nVerifying the EFI header\n"
        "\nVerifying the EFI trailer\n"
        "\nVerifying the EFI LBA entries\n"
        "\nVerifying the PartitionEntryArrayCRC32\n";
    EXPECT_EQ(run.out, expected);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.status, 0);
  }
}

// Each record field decoded on its own: the bootable bit, the 10-bit
// cylinders split over two bytes, the 6-bit sectors. The boot signature is
// not looked at.
TEST(PartitionTables, MbrRecordsAreDecodedFieldByField) {
  PluginImage image = PluginImage::Build(ImageDescription{});
  image.PutInMbr(mbr_field::kDiskSignature, 0x12345678);
  image.PutInMbr(mbr_field::kBootSignature, 0);
  // Record 2: status 0x81, start head 1, bytes C1 05 (sector 1, cylinder
  // 0x305), type 7, end head FE, bytes FF FF (sector 0x3f, cylinder 0x3ff).
  image.PutInMbr(MbrRecord(1, mbr_record_field::kStatus), 0x81);
  image.PutInMbr(MbrRecord(1, mbr_record_field::kStartChs), 0x05C101);
  image.PutInMbr(MbrRecord(1, mbr_record_field::kType), 0x07);
  image.PutInMbr(MbrRecord(1, mbr_record_field::kEndChs), 0xFFFFFE);
  image.PutInMbr(MbrRecord(1, mbr_record_field::kSectorOffset), 0x800);
  image.PutInMbr(MbrRecord(1, mbr_record_field::kSectorCount), 0xFFFFFFFFu);
  // Record 3: status 0x7F, start bytes 00 40 00 (sector 0, cylinder 0x100),
  // type 0x83, end bytes 10 82 01 (head 0x10, sector 2, cylinder 0x201).
  image.PutInMbr(MbrRecord(2, mbr_record_field::kStatus), 0x7F);
  image.PutInMbr(MbrRecord(2, mbr_record_field::kStartChs), 0x004000);
  image.PutInMbr(MbrRecord(2, mbr_record_field::kType), 0x83);
  image.PutInMbr(MbrRecord(2, mbr_record_field::kEndChs), 0x018210);
  image.PutInMbr(MbrRecord(2, mbr_record_field::kSectorOffset), 1);
  // Record 4: status 0xFF and nothing else.
  image.PutInMbr(MbrRecord(3, mbr_record_field::kStatus), 0xFF);
  ScratchDirectory scratch;
  const ToolRun run = InspectImage(image, scratch);

  PartitionTablesText expected = ExpectedTablesOf(image, StandardPartitions(512, kGiB));
  expected.diskSignature = 0x12345678;
  expected.mbr[1] = {true, 0x1, 0x305, 0x1, 0x7, 0xfe, 0x3ff, 0x3f, 0x800, 0xffffffff};
  expected.mbr[2] = {false, 0, 0x100, 0, 0x83, 0x10, 0x201, 0x2, 0x1, 0};
  expected.mbr[3] = {true, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(AfterContainerReport(run.out), expected.Render());
  EXPECT_EQ(run.status, 0);
}

// Type names and the name check, one entry per case, all in one array. A
// name passes when it begins with the expected name of its type; types the
// report does not know get no check. Code units above 0xFF print as '?'.
TEST(PartitionTables, PartitionTypesAndTheNameCheck) {
  const Guid linuxFilesystem = GuidFromString("0FC63DAF-8483-4772-8E79-3D69D8477DE4");
  const Guid basicDataLastByteChanged = GuidFromString("EBD0A0A2-B9E5-4433-87C0-68B6B72699C8");
  // The basic data GUID with its first three groups stored big-endian.
  const Guid basicDataWrongByteOrder = GuidFromString("A2A0D0EB-E5B9-3344-87C0-68B6B72699C7");
  struct NameCase {
    Guid type;
    std::u16string name;
    std::uint64_t attributes;
    EntryText printed;  // without its LBAs
  };
  const std::vector<NameCase> cases = {
      {kBasicDataPartitionType, u"Basic data partition", 0, {"Data partition", 0, 0, 0, "Basic data partition", false}},
      {kBasicDataPartitionType,
       u"Basic data partition 2",
       0,
       {"Data partition", 0, 0, 0, "Basic data partition 2", false}},
      {kBasicDataPartitionType, u"Basic Data partition", 0, {"Data partition", 0, 0, 0, "Basic Data partition", true}},
      {kBasicDataPartitionType, u"Basic data", 0, {"Data partition", 0, 0, 0, "Basic data", true}},
      {kBasicDataPartitionType, u"", 0, {"Data partition", 0, 0, 0, "", true}},
      {kEfiSystemPartitionType, u"", 0, {"EFI system partition", 0, 0, 0, "", true}},
      {kEfiSystemPartitionType,
       u"EFI system partition",
       0x1,
       {"EFI system partition", 0, 0, 0x1, "EFI system partition", false}},
      {kEfiSystemPartitionType,
       u"EFI System Partition",
       0,
       {"EFI system partition", 0, 0, 0, "EFI System Partition", true}},
      {kMicrosoftReservedPartitionType,
       u"Microsoft reserved partition",
       0x8000000000000001,
       {"Microsoft reserved partition", 0, 0, 0x8000000000000001, "Microsoft reserved partition", false}},
      {kMicrosoftReservedPartitionType,
       u"Microsoft reserved",
       0,
       {"Microsoft reserved partition", 0, 0, 0, "Microsoft reserved", true}},
      // 36 code units and no terminator: the name ends where the entry does,
      // and the next entry's type GUID is not part of it.
      {kBasicDataPartitionType,
       u"Basic data partition 0123456789ABCDE",
       0,
       {"Data partition", 0, 0, 0, "Basic data partition 0123456789ABCDE", false}},
      {kEfiSystemPartitionType,
       u"EFI system partitions, thirty-six...",
       0,
       {"EFI system partition", 0, 0, 0, "EFI system partitions, thirty-six...", false}},
      {linuxFilesystem, u"", 0, {"Unknown partition type", 0, 0, 0, "", false}},
      {Guid{}, u"odd ~ name", 0, {"Unknown partition type", 0, 0, 0, "odd ~ name", false}},
      {basicDataLastByteChanged, u"Basic data", 0, {"Unknown partition type", 0, 0, 0, "Basic data", false}},
      {basicDataWrongByteOrder, u"x", 0, {"Unknown partition type", 0, 0, 0, "x", false}},
      {linuxFilesystem, u"Caf\u00e9 \u4e2d\u6587", 0, {"Unknown partition type", 0, 0, 0, "Caf\xe9 ??", false}},
      {kBasicDataPartitionType,
       u"Basic data partition \u4e2d",
       0,
       {"Data partition", 0, 0, 0, "Basic data partition ?", false}},
      {kEfiSystemPartitionType,
       u"EFI system partitio\u0100",
       0,
       {"EFI system partition", 0, 0, 0, "EFI system partitio?", true}},
  };
  std::vector<GptPartition> partitions;
  std::vector<EntryText> entries;
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const std::uint64_t first = 2048 + 8 * i;
    partitions.push_back(
        {cases[i].type, UniqueGuid(static_cast<int>(i)), first, first + 7, cases[i].attributes, cases[i].name});
    EntryText e = cases[i].printed;
    e.firstLba = first;
    e.lastLba = first + 7;
    entries.push_back(e);
  }
  ASSERT_EQ(partitions[10].name.size(), 36u);
  ASSERT_EQ(partitions[11].name.size(), 36u);
  ImageDescription d;
  d.partitions = partitions;
  const PluginImage image = PluginImage::Build(d);
  ScratchDirectory scratch;
  const ToolRun run = InspectImage(image, scratch);

  PartitionTablesText expected = ExpectedTablesOf(image, partitions);
  expected.primaryEntries = entries;
  expected.backupEntries = entries;
  EXPECT_EQ(AfterContainerReport(run.out), expected.Render());
  EXPECT_EQ(run.status, 0);
}

// The walk stops at the first entry whose unique GUID is all zeros, whatever
// its type and whatever follows it.
TEST(PartitionTables, AZeroUniqueGuidEndsTheWalk) {
  const auto entry = [](int i, Guid unique) {
    const std::uint64_t first = 2048 + 8 * static_cast<std::uint64_t>(i);
    return GptPartition{kBasicDataPartitionType, unique, first, first + 7, 0, u"Basic data partition"};
  };
  struct WalkCase {
    const char* what;
    std::vector<GptPartition> written;
    std::size_t printed;  // how many of the written entries are printed
  };
  const WalkCase cases[] = {
      {"a zero entry between used ones",
       {entry(0, UniqueGuid(0)), entry(1, UniqueGuid(1)), entry(2, Guid{}), entry(3, UniqueGuid(3))},
       2},
      {"a zero first entry", {entry(0, Guid{}), entry(1, UniqueGuid(1))}, 0},
  };
  for (const WalkCase& c : cases) {
    SCOPED_TRACE(c.what);
    ImageDescription d;
    d.partitions = c.written;
    const PluginImage image = PluginImage::Build(d);
    ScratchDirectory scratch;
    const ToolRun run = InspectImage(image, scratch);
    const std::vector<GptPartition> printed(c.written.begin(),
                                            c.written.begin() + static_cast<std::ptrdiff_t>(c.printed));
    EXPECT_EQ(AfterContainerReport(run.out), ExpectedTablesOf(image, printed).Render());
    EXPECT_EQ(run.status, 0);
  }
}

// 128 used entries print as 128 blocks numbered 1 to 128 in decimal. Nothing
// after the 16384 bytes of an array is taken as an entry: the primary area is
// one sector longer and holds a used-looking entry there, and the backup
// header follows the backup array.
TEST(PartitionTables, OneHundredTwentyEightEntriesAndNothingBeyond) {
  std::vector<GptPartition> partitions;
  for (int i = 0; i < 128; ++i) {
    const std::uint64_t first = 2048 + 2 * static_cast<std::uint64_t>(i);
    partitions.push_back({i % 2 == 0 ? kBasicDataPartitionType : Guid{}, UniqueGuid(i), first, first + 1,
                          static_cast<std::uint64_t>(i), u"Basic data partition"});
  }
  ImageDescription d;
  d.partitions = partitions;
  PluginImage image = PluginImage::Build(d);
  const Layout& L = image.layout();
  SetPartitionAreaSize(image, static_cast<std::int64_t>(L.partitionAreaSize + 512));
  const auto firstEntry = image.View(L.primaryGptEntries, kGptEntrySize);
  image.PutBytes(L.primaryGptEntries + kGptEntryArraySize,
                 std::vector<std::byte>(firstEntry.begin(), firstEntry.end()));
  ScratchDirectory scratch;
  const ToolRun run = InspectImage(image, scratch);

  PartitionTablesText expected = ExpectedTablesOf(image, partitions);
  ASSERT_EQ(expected.areaSize, 0x4600u);
  EXPECT_EQ(AfterContainerReport(run.out), expected.Render());
  EXPECT_EQ(run.status, 0);
}

// The sizes from the plugin item are checked after the three size lines and
// before anything is read: the area must hold the MBR and the primary GPT
// (at least 2 x S + 16384 bytes, and at least 512), the trailer the backup
// array and header (16384 + 92 = 0x405c bytes), and neither may be above
// 64 MiB. A refused size ends the image with one line naming it.
TEST(PartitionTables, SizesThatCannotHoldThePartitionTablesEndTheImage) {
  struct SizeCase {
    const char* what;
    std::uint32_t sectorSize;
    std::int64_t areaSize;
    std::int64_t trailerLength;
    std::string line;
  };
  const std::string area = "PLUGIN_VHDX_METADATA->nMbrGptSize is: ";
  const std::string areaLimits512 = " nMbrGptSize should be between 0x4400 and 0x4000000";
  const std::string areaLimits4096 = " nMbrGptSize should be between 0x6000 and 0x4000000";
  const std::string trailer = "PLUGIN_VHDX_METADATA->nGptTrailerLength is: ";
  const std::string trailerLimits = " nGptTrailerLength should be between 0x405c and 0x4000000";
  const SizeCase cases[] = {
      {"area one byte short", 512, 0x43ff, 0x4200, area + "0x43ff" + areaLimits512},
      {"area one byte short at 4096", 4096, 0x5fff, 0x5000, area + "0x5fff" + areaLimits4096},
      {"a 512-byte-sector area at 4096", 4096, 0x4400, 0x5000, area + "0x4400" + areaLimits4096},
      {"area smaller than the MBR", 512, 0x1ff, 0x4200, area + "0x1ff" + areaLimits512},
      {"area of one byte", 512, 1, 0x4200, area + "0x1" + areaLimits512},
      {"negative area", 512, -1, 0x4200, area + "0xffffffffffffffff" + areaLimits512},
      {"most negative area", 512, kInt64Min, 0x4200, area + "0x8000000000000000" + areaLimits512},
      {"largest area", 512, kInt64Max, 0x4200, area + "0x7fffffffffffffff" + areaLimits512},
      {"area above 64 MiB", 512, 0x4000001, 0x4200, area + "0x4000001" + areaLimits512},
      {"area of 4 GiB", 512, 0x100000000, 0x4200, area + "0x100000000" + areaLimits512},
      {"trailer one byte short of the backup header", 512, 0x4400, 0x405b, trailer + "0x405b" + trailerLimits},
      {"trailer of one byte", 4096, 0x6000, 1, trailer + "0x1" + trailerLimits},
      {"negative trailer", 512, 0x4400, -1, trailer + "0xffffffffffffffff" + trailerLimits},
      {"largest trailer", 512, 0x4400, kInt64Max, trailer + "0x7fffffffffffffff" + trailerLimits},
      {"trailer above 64 MiB", 512, 0x4400, 0x4000001, trailer + "0x4000001" + trailerLimits},
      {"both wrong: the area is named", 512, 1, 1, area + "0x1" + areaLimits512},
  };
  for (const SizeCase& c : cases) {
    SCOPED_TRACE(c.what);
    ImageDescription d;
    d.logicalSectorSize = c.sectorSize;
    d.partitions = StandardPartitions(c.sectorSize, d.virtualDiskSize);
    PluginImage image = PluginImage::Build(d);
    SetPartitionAreaSize(image, c.areaSize);
    image.PutInPluginItem(plugin_field::kGptTrailerLength, c.trailerLength);
    ScratchDirectory scratch;
    const ToolRun run = InspectImage(image, scratch);
    EXPECT_EQ(AfterContainerReport(run.out),
              SizeLines(static_cast<std::uint64_t>(c.areaSize), static_cast<std::uint64_t>(c.trailerLength), 0x100000) +
                  Corrupt(c.line));
    EXPECT_EQ(run.out.rfind("Parsing " + (scratch / "image.vhdx") + "\n", 0), 0u) << run.out;
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.signal, 0);
  }
}

// Sizes at the limits are accepted and read: an area of exactly 2 x S + 16384
// bytes, a trailer that ends with the backup header, and 64 MiB for either
// (read past the end of the file, the rest of the buffer is zeros, so the
// tables print as in the sample).
TEST(PartitionTables, SizesAtTheLimitsAreRead) {
  ScratchDirectory scratch;
  {
    SCOPED_TRACE("a trailer of exactly 16384 + 92 bytes");
    const PluginImage sample = PluginImage::Build(ImageDescription{});
    const auto trailer = sample.View(sample.layout().trailer, kGptEntryArraySize + kGptHeaderSize);
    ImageDescription d;
    d.trailerBytes = std::vector<std::byte>(trailer.begin(), trailer.end());
    const PluginImage image = PluginImage::Build(d);
    const ToolRun run = InspectImage(image, scratch, "short-trailer.vhdx");
    PartitionTablesText expected = ExpectedTablesOf(image, StandardPartitions(512, kGiB));
    ASSERT_EQ(expected.areaSize, 0x4400u);
    ASSERT_EQ(expected.trailerLength, 0x405cu);
    EXPECT_EQ(AfterContainerReport(run.out), expected.Render());
  }
  for (const bool bigArea : {true, false}) {
    SCOPED_TRACE(bigArea ? "an area of 64 MiB" : "a trailer of 64 MiB");
    PluginImage image = PluginImage::Build(ImageDescription{});
    if (bigArea) {
      SetPartitionAreaSize(image, 64 * kMiB);
    } else {
      image.PutInPluginItem(plugin_field::kGptTrailerLength, 64 * kMiB);
    }
    const ToolRun run = InspectImage(image, scratch, "big.vhdx");
    const PartitionTablesText expected = ExpectedTablesOf(image, StandardPartitions(512, kGiB));
    EXPECT_EQ(bigArea ? expected.areaSize : expected.trailerLength, 0x4000000u);
    EXPECT_EQ(AfterContainerReport(run.out), expected.Render());
    EXPECT_EQ(run.status, 0);
  }
}

// A trailer position that passes 2^63 or wraps the 64-bit range cannot be
// read: the line names the positioning, its status (EINVAL; on Windows
// ERROR_NEGATIVE_SEEK) in the base in force, which is hexadecimal with the
// prefix after the size lines. (A data area that wraps, which stops the
// reading before the partition-table area, is in container_stages_test.cpp.)
TEST(PartitionTables, ADataAreaPositionOutOfRangeEndsTheImage) {
  struct ReadCase {
    const char* what;
    std::int64_t trailerOffset;
  };
  const std::int64_t dataArea = 0x400000;  // the data area of every built image here
  const ReadCase cases[] = {
      {"the largest offset", kInt64Max},
      {"a position of exactly 2^63", kInt64Max - dataArea + 1},
      {"a negative offset", -1},
      {"a position that wraps to 0", -dataArea},
      {"the most negative offset", kInt64Min},
  };
  for (const ReadCase& c : cases) {
    SCOPED_TRACE(c.what);
    PluginImage image = PluginImage::Build(ImageDescription{});
    ASSERT_EQ(image.layout().dataArea, static_cast<std::uint64_t>(dataArea));
    image.PutInPluginItem(plugin_field::kGptTrailerDiskOffset, c.trailerOffset);
    ScratchDirectory scratch;
    const ToolRun run = InspectImage(image, scratch);
    // The partition-table area is read and printed before the trailer is.
    const PartitionTablesText expected = ExpectedTablesOf(image, StandardPartitions(512, kGiB));
    EXPECT_EQ(AfterContainerReport(run.out), expected.RenderPartitionTableArea() +
                                                 Corrupt(PositionFailed(scratch / "image.vhdx", Base::kHexWithPrefix)));
    EXPECT_EQ(run.status, 0);
  }
}

}  // namespace
}  // namespace e2e
