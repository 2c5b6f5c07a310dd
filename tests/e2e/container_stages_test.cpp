// The two container stages, run through the built tool: an image the stages
// accept gets its whole container report, and files that cannot be opened or
// read whole get their lines. Each failed check's line is tested on the
// inspection in memory (tests/inspect/container_stages_test.cpp).
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "expected_text.h"
#include "run_tool.h"
#include "support/container_damage.h"
#include "support/image_holder.h"
#include "support/plugin_image.h"

namespace e2e {
namespace {

using namespace testsupport;

// ---------------------------------------------------------------------------
// What the stages accept: the whole container report follows.

struct AcceptedCase {
  std::string name;
  std::function<void(ImageDescription&)> describe;
  std::function<void(PluginImage&)> damage;
  std::function<void(ExpectedReport&)> expect;  // changes to the report of the image as built
};

std::ostream& operator<<(std::ostream& out, const AcceptedCase& c) { return out << c.name; }

class AcceptedImage : public testing::TestWithParam<AcceptedCase> {};

TEST_P(AcceptedImage, GetsItsWholeReport) {
  const AcceptedCase& c = GetParam();
  ScratchDirectory scratch;
  ImageDescription d = WithoutTrailer();
  if (c.describe) c.describe(d);
  PluginImage image = PluginImage::Build(d);
  if (c.damage) c.damage(image);
  const std::string path = scratch / (c.name + ".vhdx");
  image.WriteTo(path);
  ExpectedReport expected = ReportOf(image, path);
  if (c.expect) c.expect(expected);

  const ToolRun run = RunTool({"-f", path});
  EXPECT_EQ(run.out, ContainerReport(expected));
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
}

std::vector<AcceptedCase> AcceptedCases() {
  const auto itemAtTheEnd = [](int entry, std::uint64_t offset, Field field, std::uint64_t value) {
    return [=](PluginImage& i) {
      i.PutInMetadataRegion(MetadataEntry(entry, metadata_entry_field::kOffset), static_cast<std::uint32_t>(offset));
      PutInRegion(i, offset, field, value);
    };
  };
  return {
      {"alternative_signature",
       {},
       [](PluginImage& i) { i.PutInFileIdentifier(file_identifier_field::kSignature, "vhdx.twb"); },
       {}},
      {"bytes_after_the_creator_terminator",
       {},
       [](PluginImage& i) {
         i.PutBytes(8 + 80, Bytes(Utf16Bytes(u"anything at all, even without a terminator")));
         i.PutBytes(520, Bytes("and the reserved part of the file identifier"));
       },
       {}},
      {"equal_sequence_numbers_show_header2",
       [](ImageDescription& d) {
         d.header1SequenceNumber = 7;
         d.header2SequenceNumber = 7;
       },
       [](PluginImage& i) {
         i.PutInHeader(1, header_field::kVersion, 9);
         i.PutInHeader(1, header_field::kLogLength, 0x300000);
       },
       [](ExpectedReport& r) {  // header 2's values
         r.sequenceNumber = 7;
         r.version = 1;
         r.logLength = 0x100000;
       }},
      {"greater_header1_is_shown",
       [](ImageDescription& d) {
         d.header1SequenceNumber = 12;
         d.header2SequenceNumber = 11;
       },
       [](PluginImage& i) { i.PutInHeader(2, header_field::kVersion, 9); },
       [](ExpectedReport& r) {  // header 1's values
         r.sequenceNumber = 12;
         r.version = 1;
       }},
      {"sequence_numbers_compared_unsigned",
       [](ImageDescription& d) {
         d.header1SequenceNumber = 0x8000000000000000;
         d.header2SequenceNumber = 1;
       },
       [](PluginImage& i) { i.PutInHeader(2, header_field::kLogVersion, 3); },
       [](ExpectedReport& r) {  // header 1's values
         r.sequenceNumber = 0x8000000000000000;
         r.logVersion = 0;
       }},
      {"header_not_chosen_is_not_looked_at",
       {},
       [](PluginImage& i) {
         i.Put(i.layout().header(1), header_field::kSignature, "junk");
         BreakHeaderChecksum(i, 1);
       },
       {}},
      {"bytes_after_the_checksummed_header", {}, [](PluginImage& i) { i.Put8(i.layout().header(2) + 4096, 0x77); }, {}},
      // The second copy does not match its checksum; the first copy's
      // region locations are the ones reported.
      {"first_region_table_copy_used_when_the_second_is_damaged",
       {},
       [](PluginImage& i) { i.Put(i.layout().regionTable(2), RegionEntry(0, region_entry_field::kLength), 0x500000); },
       {}},
      {"second_region_table_copy_used_when_both_are_intact",
       {},
       [](PluginImage& i) {
         i.PutInRegionTable(1, RegionEntry(0, region_entry_field::kLength), 0x200000);
         i.PutInRegionTable(1, RegionEntry(1, region_entry_field::kLength), 0x400000);
       },
       {}},
      {"values_the_stages_do_not_check",
       [](ImageDescription& d) {
         d.version = 65535;
         d.logVersion = 7;
         d.logLength = 0;
         d.logOffset = 0;
         d.logGuid = kSomeOtherGuid;
       },
       [](PluginImage& i) {
         i.PutInRegionTables(RegionEntry(0, region_entry_field::kRequired), 0);
         i.PutInRegionTables(RegionEntry(1, region_entry_field::kRequired), 0);
         for (int entry = 0; entry < kPluginItem; ++entry) {
           i.PutInMetadataRegion(MetadataEntry(entry, metadata_entry_field::kItemId), Guid{});
           i.PutInMetadataRegion(MetadataEntry(entry, metadata_entry_field::kLength), 0xFFFFFFFFu);
           i.PutInMetadataRegion(MetadataEntry(entry, metadata_entry_field::kFlags), 0xFFFFFFFFu);
         }
         i.PutInMetadataRegion(MetadataEntry(kPage83DataItem, metadata_entry_field::kOffset), 0xFFFFFFFFu);
         i.PutInMetadataRegion(MetadataEntry(kPluginItem, metadata_entry_field::kFlags), 0xFFFFFFFFu);
         i.PutInMetadataItem(kFileParametersItem, file_parameters_field::kFlags, 0xFFFFFFFFu);
       },
       {}},
      // The first entry ends the list; the second entry's record is neither
      // counted nor reported.
      {"entries_after_a_zero_cbSize_are_not_volumes",
       {},
       [](PluginImage& i) {
         i.PutInPluginItem(PluginEntry(0, plugin_entry_field::kSize), 0);
         i.PutInPluginItem(plugin_field::kTotalMetaData, 4096);
         i.PutInMetadataRegion(MetadataEntry(kPluginItem, metadata_entry_field::kLength), 4096);
       },
       [](ExpectedReport& r) {
         r.cbTotalMetaData = 4096;
         r.volumes.clear();
       }},
      {"any_sector_sizes",
       [](ImageDescription& d) {
         d.logicalSectorSize = 4096;
         d.physicalSectorSize = 512;
       },
       [](PluginImage& i) {
         i.PutInMetadataItem(kLogicalSectorSizeItem, logical_sector_size_field::kLogicalSectorSize, 0);
         i.PutInMetadataItem(kPhysicalSectorSizeItem, physical_sector_size_field::kPhysicalSectorSize, 3);
       },
       [](ExpectedReport& r) {
         r.logicalSectorSize = 0;
         r.physicalSectorSize = 3;
         r.chunkRatio = 0;
       }},
      {"file_parameters_in_the_last_4_bytes",
       {},
       itemAtTheEnd(kFileParametersItem, 2097148, file_parameters_field::kBlockSize, 32 * kMiB),
       {}},
      {"virtual_disk_size_in_the_last_8_bytes",
       {},
       itemAtTheEnd(kVirtualDiskSizeItem, 2097144, virtual_disk_size_field::kVirtualDiskSize, 1 * kGiB),
       {}},
      {"logical_sector_size_in_the_last_4_bytes",
       {},
       itemAtTheEnd(kLogicalSectorSizeItem, 2097148, logical_sector_size_field::kLogicalSectorSize, 512),
       {}},
      {"physical_sector_size_in_the_last_4_bytes",
       {},
       itemAtTheEnd(kPhysicalSectorSizeItem, 2097148, physical_sector_size_field::kPhysicalSectorSize, 4096),
       {}},
      // The plugin header's 176 bytes end with the buffer; without volumes
      // nothing after them is read.
      {"plugin_item_in_the_last_176_bytes", [](ImageDescription& d) { d.volumes.clear(); },
       [](PluginImage& i) {
         const auto header = i.View(i.layout().pluginItem, 176);
         const std::vector<std::byte> saved(header.begin(), header.end());
         i.PutBytes(i.layout().metadataRegion + 2096976, saved);
         i.PutInMetadataRegion(MetadataEntry(kPluginItem, metadata_entry_field::kOffset), 2096976);
       },
       [](ExpectedReport& r) { r.pluginOffset = 2096976; }},
      // A volume record whose text ends with a zero unit in the buffer's
      // last two bytes.
      {"image_file_list_terminated_in_the_last_2_bytes",
       {},
       [](PluginImage& i) {
         const std::uint64_t record = kMetadataBufferSize - 66 - 22;
         i.PutInPluginItem(PluginEntry(0, plugin_entry_field::kMetaDataOffset),
                           static_cast<std::uint32_t>(record - kPluginItemOffset));
         PutInRegion(i, record, volume_field::kMySize, 512);
         PutInRegion(i, record, volume_field::kVolumeSize, std::int64_t{5});
         i.PutBytes(i.layout().metadataRegion + record + 66, Bytes(Utf16Bytes(u"0123456789") + std::string(2, '\0')));
       },
       [](ExpectedReport& r) {
         r.volumes[0].cbMetaDataOffset = static_cast<std::uint32_t>(kMetadataBufferSize - 66 - 22 - kPluginItemOffset);
         r.volumes[0].nVolumeSize = 5;
         r.volumes[0].cbImageFileList = 20;
       }},
  };
}

INSTANTIATE_TEST_SUITE_P(Container, AcceptedImage, testing::ValuesIn(AcceptedCases()),
                         [](const testing::TestParamInfo<AcceptedCase>& info) { return info.param.name; });

// ---------------------------------------------------------------------------
// Files that cannot be read as an image.

TEST(ContainerOpen, FailedOpenNamesTheStatusAndThePath) {
  ScratchDirectory scratch;
  const std::string missing = scratch / "missing.vhdx";
  const std::string directory = scratch / "folder.vhdx";
  std::filesystem::create_directory(directory);
  struct Case {
    std::string path;
    Failure failure;
  };
  const Case cases[] = {
      {missing, Failure::kNoSuchFile},
      {directory, Failure::kFolder},
      {DevicePath(), Failure::kDevice},
  };
  for (const Case& c : cases) {
    const ToolRun run = RunTool({"-f", c.path});
    EXPECT_EQ(run.out, Corrupt(OpenFailed(c.failure, c.path))) << c.path;
    EXPECT_EQ(run.status, 0) << c.path;
  }
}

TEST(ContainerOpen, FileWithoutReadPermission) {
  if (WindowsProgramUnderTest()) GTEST_SKIP() << kPermissionBits;
  ScratchDirectory scratch;
  const std::string path = scratch / "locked-away.vhdx";
  PluginImage::Build(WithoutTrailer()).WriteTo(path);
  std::filesystem::permissions(path, std::filesystem::perms::none);
  const ToolRun run = RunToolAsOrdinaryUser(scratch, {"-f", path});
  EXPECT_EQ(run.out, Corrupt("CreateFile failed with status 13 for file: " + path));
  EXPECT_EQ(run.status, 0);
}

// Another program holding the image keeps the tool out of it: a whole-file
// lock, or a QEMU program with the image open (QEMU's byte-range locks), gets
// the line of a locked file and nothing else; once it lets go, the image is
// read in full.
TEST(ContainerOpen, ImageHeldByAnotherProgram) {
  if (WindowsProgramUnderTest()) GTEST_SKIP() << kPosixLocks;
  constexpr double kSecondsWithoutWaiting = 10;
  struct Holder {
    const char* what;
    std::vector<std::string> (*command)(const std::string& path);
  };
  const Holder holders[] = {
      {"flock(1), exclusive", FlockHolderCommand},
      {"qemu-io, as a running VM holds its disk", QemuIoHolderCommand},
  };
  ScratchDirectory scratch;
  const std::string path = scratch / "busy.vhdx";
  PluginImage::Build(WithoutTrailer()).WriteTo(path);
  for (const Holder& h : holders) {
    ImageHolder holder(h.command(path), path);
    const ToolRun held = RunTool({"-f", path});
    holder.Release();
    EXPECT_EQ(held.out, Corrupt("CreateFile failed with status 11 for file: " + path)) << h.what;
    EXPECT_EQ(held.err, "") << h.what;
    EXPECT_EQ(held.signal, 0) << h.what;
    EXPECT_EQ(held.status, 0) << h.what;
    EXPECT_LT(held.seconds, kSecondsWithoutWaiting) << h.what << ": the open waited for the lock";

    const ToolRun released = RunTool({"-f", path});
    EXPECT_EQ(released.out, ContainerReport(ReportOf(PluginImage::Build(WithoutTrailer()), path))) << h.what;
  }
}

TEST(ContainerOpen, FileShorterThanTheHeaderSection) {
  ScratchDirectory scratch;
  const PluginImage image = PluginImage::Build(WithoutTrailer());
  for (const std::uint64_t length : {std::uint64_t{0}, std::uint64_t{1000}, std::uint64_t{1048575}}) {
    const std::string path = scratch / ("short-" + std::to_string(length) + ".vhdx");
    image.WriteTo(path);
    std::filesystem::resize_file(path, length);
    const ToolRun run = RunTool({"-f", path});
    EXPECT_EQ(run.out, Corrupt("Attemped to read 1048576 bytes, but " + std::to_string(length) + " were read."))
        << length;
    EXPECT_EQ(run.status, 0);
  }
}

// A metadata region cut short by the end of the file is read as far as it
// goes; the rest of the buffer holds zeros, never other bytes.
TEST(ContainerOpen, MetadataRegionCutShortByTheEndOfTheFile) {
  ScratchDirectory scratch;
  const PluginImage image = PluginImage::Build(WithoutTrailer());
  const std::uint64_t region = image.layout().metadataRegion;
  struct Case {
    std::uint64_t length;
    std::string line;
  };
  const Case cases[] = {
      {1 * kMiB, "Not a valid metadata table header."},  // the header section only
      {region, "Not a valid metadata table header."},
      // Two of the four bytes of the block size 0x02000000 are in the file.
      {region + 0x10002, "BlockSize is: 0 BlockSize should be 33554432"},
  };
  for (const Case& c : cases) {
    const std::string path = scratch / ("cut-" + std::to_string(c.length) + ".vhdx");
    image.WriteTo(path);
    std::filesystem::resize_file(path, c.length);
    const ToolRun run = RunTool({"-f", path});
    EXPECT_EQ(run.out, Corrupt(c.line)) << c.length;
    EXPECT_EQ(run.status, 0);
  }
}

// The metadata region is read where the region table puts it, at 2 GiB and
// beyond 4 GiB too. The copy far away carries its own Revision, so a read
// that lands anywhere else shows.
TEST(ContainerOpen, MetadataRegionBeyond2GiB) {
  ScratchDirectory scratch;
  for (const std::uint64_t far : {std::uint64_t{0x80000000}, std::uint64_t{0x100200000}}) {
    PluginImage image = PluginImage::Build(WithoutTrailer());
    image.PutInRegionTables(RegionEntry(1, region_entry_field::kFileOffset), far);
    const auto region = image.View(image.layout().metadataRegion, kMetadataBufferSize);
    std::vector<std::byte> moved(region.begin(), region.end());
    moved[kPluginItemOffset] = std::byte{77};  // Revision, little-endian

    const std::string path = scratch / "far.vhdx";
    image.WriteTo(path);
    {
      std::fstream file(path, std::ios::binary | std::ios::in | std::ios::out);
      file.seekp(static_cast<std::streamoff>(far));
      file.write(reinterpret_cast<const char*>(moved.data()), static_cast<std::streamsize>(moved.size()));
      ASSERT_TRUE(file.good());
    }
    ExpectedReport expected = ReportOf(image, path);
    expected.metadataOffset = far;
    expected.revision = 77;
    const ToolRun run = RunTool({"-f", path});
    EXPECT_EQ(run.out, ContainerReport(expected)) << far;
    EXPECT_EQ(run.status, 0);
    std::filesystem::remove(path);
  }
}

// A metadata region at 2^63 or beyond cannot be positioned to.
TEST(ContainerOpen, MetadataRegionBeyondTheFilePositionRange) {
  ScratchDirectory scratch;
  PluginImage image = PluginImage::Build(WithoutTrailer());
  image.PutInRegionTables(RegionEntry(1, region_entry_field::kFileOffset), std::uint64_t{0x8000000000000000});
  const std::string path = scratch / "unreachable.vhdx";
  image.WriteTo(path);
  const ToolRun run = RunTool({"-f", path});
  EXPECT_EQ(run.out, Corrupt(PositionFailed(path, Base::kDecimal)));
  EXPECT_EQ(run.status, 0);
}

// A data area whose file position passes 2^63, or whose BAT offset plus
// length wraps 64 bits, cannot be read: not even the partition-table area at
// its start. The status is written in the base that the three size lines left
// in force.
TEST(ContainerOpen, DataAreaPositionOutOfRange) {
  ScratchDirectory scratch;
  struct Case {
    std::uint64_t batOffset;
    std::uint32_t batLength;
  };
  const Case cases[] = {
      {0x7FFFFFFFFFF00000, 0x100000},  // data area at 2^63
      {0xFFFFFFFFFFF00000, 0x100000},  // the sum wraps to 0
      {0xFFFFFFFFFFF00000, 0x200000},  // the sum wraps past 0
  };
  for (const Case& c : cases) {
    PluginImage image = PluginImage::Build(ImageDescription{});
    image.PutInRegionTables(RegionEntry(0, region_entry_field::kFileOffset), c.batOffset);
    image.PutInRegionTables(RegionEntry(0, region_entry_field::kLength), c.batLength);
    const std::string path = scratch / "far-data.vhdx";
    image.WriteTo(path);
    ExpectedReport expected = ReportOf(image, path);
    expected.batOffset = c.batOffset;
    expected.batLength = c.batLength;
    const ToolRun run = RunTool({"-f", path});
    EXPECT_EQ(run.out, ContainerReport(expected) +
                           "GPT Header size:    0x4400\n"
                           "GPT Trailer size:   0x4200\n"
                           "GPT Trailer offset: 0x100000\n" +
                           Corrupt(PositionFailed(path, Base::kHexWithPrefix)))
        << std::hex << c.batOffset;
    EXPECT_EQ(run.status, 0);
  }
}

}  // namespace
}  // namespace e2e
