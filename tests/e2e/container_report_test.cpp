// The container report of valid images, and the number base that each line
// writes its values in: within one image and from one image to the next.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "expected_text.h"
#include "partition_expected.h"
#include "run_tool.h"
#include "support/plugin_image.h"

namespace e2e {
namespace {

using namespace testsupport;

// The whole report written out value by value, at both logical sector sizes.
// The values that the two images share are written once below; the table
// holds those that differ.
struct WholeReportCase {
  const char* what;
  std::function<void(ImageDescription&)> describe;  // changes to the sample image without a trailer
  const char* sequenceNumber;
  const char* logicalSectorSize;
  const char* virtualDiskSize;
  const char* chunkRatio;
  const char* revision;
  const char* nVirtualDiskSize;
  const char* nMbrGptSize;
  const char* cbMaxMetaData;
  std::vector<VolumeText> volumes;
};

TEST(ContainerReport, WholeReportAtBothSectorSizes) {
  const WholeReportCase cases[] = {
      {"the sample: 1 GiB, 512-byte logical and 4096-byte physical sectors, header 2 current with "
       "SequenceNumber 2, two 512-byte volume records",
       [](ImageDescription&) {},
       "2",
       "0x200",
       "0x40000000",
       "128",
       "1",
       "0x3fffbc00",
       "0x4400",
       "0x10000",
       {{"0x200", "0x1000", "0x200", "0x25800000", "0", "0", "40"},
        {"0x200", "0x1200", "0x200", "0x19000000", "0", "0", "82"}}},
      {"4 GiB with 4096-byte sectors, header 1 current, one volume record of 1 KiB with a stored password",
       [](ImageDescription& d) {
         d.logicalSectorSize = 4096;
         d.physicalSectorSize = 4096;
         d.virtualDiskSize = 4 * kGiB;
         d.header1SequenceNumber = 12;
         d.header2SequenceNumber = 11;
         d.pluginRevision = 2;
         d.cbMaxMetaData = 0x20000;
         d.volumes = {{1024, 3 * kGiB, 0x200, 16, u"E:\\vault.twb"}};
       },
       "12",
       "0x1000",
       "0x100000000",
       "1024",
       "2",
       "0xffffa000",
       "0x6000",
       "0x20000",
       {{"0x400", "0x1000", "0x400", "0xc0000000", "16", "0x200", "24"}}},
  };
  ScratchDirectory scratch;
  for (const WholeReportCase& c : cases) {
    SCOPED_TRACE(c.what);
    ImageDescription d = WithoutTrailer();
    c.describe(d);
    const std::string path = scratch / "image.vhdx";
    PluginImage::Build(d).WriteTo(path);

    ReportText expected;
    expected.path = path;
    expected.sequenceNumber = c.sequenceNumber;
    expected.version = "1";
    expected.logVersion = "0";
    expected.logLength = "0x100000";
    expected.logOffset = "0x100000";
    expected.metadataLength = "0x100000";
    expected.metadataOffset = "0x200000";
    expected.batLength = "0x100000";
    expected.batOffset = "0x300000";
    expected.blockSize = "0x2000000";
    expected.logicalSectorSize = c.logicalSectorSize;
    expected.physicalSectorSize = "0x1000";
    expected.virtualDiskSize = c.virtualDiskSize;
    expected.chunkRatio = c.chunkRatio;
    expected.pluginOffset = "0x20000";
    expected.revision = c.revision;
    expected.nVirtualDiskSize = c.nVirtualDiskSize;
    expected.nMbrGptSize = c.nMbrGptSize;
    expected.cbMaxMetaData = c.cbMaxMetaData;
    expected.cbTotalMetaData = "0x1400";
    expected.volumes = c.volumes;

    const ToolRun run = RunTool({"-f", path});
    EXPECT_EQ(run.out, ContainerReport(expected));
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
  }
}

// The two trailer lines follow nGptTrailerDiskOffset, not the trailer
// length: with a length of 0 the image has no trailer (nothing follows the
// report), yet both lines are shown.
TEST(ContainerReport, TrailerLinesFollowTheTrailerOffset) {
  ScratchDirectory scratch;
  for (const std::int64_t offset : {std::int64_t{0x100000}, std::int64_t{-1}}) {
    PluginImage image = PluginImage::Build(WithoutTrailer());
    image.PutInPluginItem(plugin_field::kGptTrailerDiskOffset, offset);
    const std::string path = scratch / "offset-only.vhdx";
    image.WriteTo(path);
    ExpectedReport expected = ReportOf(image, path);
    expected.nGptTrailerLength = 0;
    expected.nGptTrailerDiskOffset = offset;

    const ToolRun run = RunTool({"-f", path});
    EXPECT_EQ(run.out, ContainerReport(expected)) << offset;
    EXPECT_NE(run.out.find("nGptTrailerLength:     0\nnGptTrailerDiskOffset: 0x"), std::string::npos) << offset;
    EXPECT_EQ(run.status, 0);
  }
}

TEST(ContainerReport, NoVolumesEndsAfterThePluginHeader) {
  ScratchDirectory scratch;
  ImageDescription d = WithoutTrailer();
  d.volumes.clear();
  const PluginImage image = PluginImage::Build(d);
  const std::string path = scratch / "no-volumes.vhdx";
  image.WriteTo(path);

  const ToolRun run = RunTool({"-f", path});
  EXPECT_EQ(run.out, ContainerReport(ReportOf(image, path)));
  EXPECT_TRUE(run.out.ends_with("cbTotalMetaData:       0x1000\n\n")) << run.out;
  EXPECT_EQ(run.status, 0);
}

// All sixteen entries in use: sixteen blocks, and nothing after the
// sixteenth entry (cbMaxMetaData and cbTotalMetaData) is taken for a
// seventeenth.
TEST(ContainerReport, SixteenVolumes) {
  ScratchDirectory scratch;
  ImageDescription d = WithoutTrailer();
  d.volumes.clear();
  for (int i = 0; i < 16; ++i) {
    d.volumes.push_back({static_cast<std::uint32_t>(512 + 2 * i), (i + 1) * std::int64_t{kMiB}, 0, 0,
                         std::u16string(static_cast<std::size_t>(i), u'v')});
  }
  const PluginImage image = PluginImage::Build(d);
  const std::string path = scratch / "sixteen.vhdx";
  image.WriteTo(path);

  const ToolRun run = RunTool({"-f", path});
  EXPECT_EQ(run.out, ContainerReport(ReportOf(image, path)));
  EXPECT_NE(run.out.find("\n=========== Volume 16\n"), std::string::npos) << run.out;
  EXPECT_EQ(run.out.find("=========== Volume 17"), std::string::npos) << run.out;
  EXPECT_EQ(run.status, 0);
}

// Fields that no stage checks are printed as they stand: a negative volume
// size as its 64-bit pattern, the largest password size in decimal, an empty
// file list as 0.
TEST(ContainerReport, UncheckedValuesAsTheyStand) {
  ScratchDirectory scratch;
  ImageDescription d = WithoutTrailer();
  d.pluginRevision = 4294967295u;
  d.cbMaxMetaData = 0;
  d.volumes = {{512, -1, 4294967295u, 65535, u""}, {1024, 0, 0, 0, u"0123456789"}};
  const PluginImage image = PluginImage::Build(d);
  const std::string path = scratch / "as-they-stand.vhdx";
  image.WriteTo(path);
  ReportText expected = AsWritten(ReportOf(image, path));
  expected.volumes = {{"0x200", "0x1000", "0x200", "0xffffffffffffffff", "65535", "0xffffffff", "0"},
                      {"0x400", "0x1200", "0x400", "0", "0", "0", "20"}};

  const ToolRun run = RunTool({"-f", path});
  EXPECT_EQ(run.out, ContainerReport(expected));
  EXPECT_NE(run.out.find("Revision:              4294967295\n"), std::string::npos);
  EXPECT_NE(run.out.find("cbMaxMetaData:         0\n"), std::string::npos);
  EXPECT_EQ(run.status, 0);
}

// ---------------------------------------------------------------------------
// The virtual size warning, and the hexadecimal it leaves in force.

// Header values that read differently in decimal and in hexadecimal.
ImageDescription WithTellingHeaderValues() {
  ImageDescription d = WithoutTrailer();
  d.header2SequenceNumber = 26;
  d.version = 10;
  d.logVersion = 11;
  return d;
}

struct VirtualSizeCase {
  const char* what;
  std::optional<std::int64_t> nVirtualDiskSize;  // as built when empty: 1 GiB - nMbrGptSize
  std::optional<std::uint64_t> virtualDiskSize;  // the Virtual Disk Size item; 1 GiB when empty
  std::string warning;                           // none when empty
};

TEST(ContainerReport, VirtualSizeWarning) {
  // nMbrGptSize is 0x4400; the sum below is 1023 MiB + 1 KiB.
  constexpr std::int64_t kSumLessArea = 0x3FF00400 - 0x4400;
  const VirtualSizeCase cases[] = {
      {"sum and size agree", {}, {}, ""},
      {"the sum rounded up to 1 MiB is the size", kSumLessArea, {}, ""},
      {"the size is the sum itself", kSumLessArea, 0x3FF00400, ""},
      {"the size is above the rounded sum", kSumLessArea, 0x3FF00800,
       "VIRTUAL_DISK_SIZE->VirtualDiskSize is: 3ff00800 PLUGIN_VHDX_METADATA->nVirtualDiskSize 3fefc000"},
      {"the size is the sum rounded down", kSumLessArea, 0x3FF00000,
       "VIRTUAL_DISK_SIZE->VirtualDiskSize is: 3ff00000 PLUGIN_VHDX_METADATA->nVirtualDiskSize 3fefc000"},
      {"a negative nVirtualDiskSize",
       -1,
       {},
       "VIRTUAL_DISK_SIZE->VirtualDiskSize is: 40000000 PLUGIN_VHDX_METADATA->nVirtualDiskSize ffffffffffffffff"},
  };
  ScratchDirectory scratch;
  for (const VirtualSizeCase& c : cases) {
    ImageDescription d = WithTellingHeaderValues();
    d.nVirtualDiskSize = c.nVirtualDiskSize;
    PluginImage image = PluginImage::Build(d);
    if (c.virtualDiskSize) {
      image.PutInMetadataItem(kVirtualDiskSizeItem, virtual_disk_size_field::kVirtualDiskSize, *c.virtualDiskSize);
    }
    const std::string path = scratch / "virtual-size.vhdx";
    image.WriteTo(path);
    ExpectedReport expected = ReportOf(image, path);
    if (c.virtualDiskSize) expected.virtualDiskSize = *c.virtualDiskSize;
    std::string text;
    std::string firstThreeValues = "SequenceNumber:   26\nVersion:          10\nLogVersion:       11\n";
    if (c.warning.empty()) {
      text = ContainerReport(expected);
    } else {
      // The warning comes before the "Parsing " line and leaves hexadecimal
      // without the prefix for the report's first three values.
      expected.base = Base::kHexWithoutPrefix;
      text = c.warning + "\n" + ContainerReport(expected);
      firstThreeValues = "SequenceNumber:   1a\nVersion:          a\nLogVersion:       b\n";
    }
    const ToolRun run = RunTool({"-f", path});
    EXPECT_EQ(run.out, text) << c.what;
    EXPECT_NE(run.out.find(firstThreeValues), std::string::npos) << c.what;
    EXPECT_EQ(run.status, 0) << c.what;
  }
}

// A check that fails after the warning writes its numbers in the
// hexadecimal the warning left behind.
TEST(ContainerReport, FailureAfterTheWarningIsInHexadecimal) {
  ScratchDirectory scratch;
  ImageDescription d = WithoutTrailer();
  d.nVirtualDiskSize = 0x3FF00400 - 0x4400;
  PluginImage image = PluginImage::Build(d);
  image.PutInMetadataItem(kVirtualDiskSizeItem, virtual_disk_size_field::kVirtualDiskSize, 0x3FF00800);
  image.PutInMetadataRegion(MetadataEntry(kPluginItem, metadata_entry_field::kLength), 0x1401);
  const std::string path = scratch / "warned-then-corrupt.vhdx";
  image.WriteTo(path);

  const ToolRun run = RunTool({"-f", path});
  EXPECT_EQ(run.out,
            "VIRTUAL_DISK_SIZE->VirtualDiskSize is: 3ff00800 PLUGIN_VHDX_METADATA->nVirtualDiskSize 3fefc000\n" +
                Corrupt("table_PLUGIN_VHDX_METADATA->Length is: 1401 PLUGIN_VHDX_METADATA->cbTotalMetaData 1400"));
  EXPECT_EQ(run.status, 0);
}

// ---------------------------------------------------------------------------
// The number base carried from one image to the next, in directory mode.

// An image whose inspection ends with hexadecimal and the prefix in force:
// the container report, the three size lines and the refusal of a
// partition-table area too small for a GPT.
struct HexLeavingImage {
  PluginImage image = [] {
    PluginImage built = PluginImage::Build(ImageDescription{});
    built.PutInPluginItem(plugin_field::kMbrGptSize, std::int64_t{0x200});
    return built;
  }();

  std::string Output(const std::string& path) const {
    ExpectedReport report = ReportOf(image, path);
    report.nMbrGptSize = 0x200;
    return ContainerReport(report) +
           "GPT Header size:    0x200\n"
           "GPT Trailer size:   0x4200\n"
           "GPT Trailer offset: 0x100000\n" +
           Corrupt("PLUGIN_VHDX_METADATA->nMbrGptSize is: 0x200 nMbrGptSize should be between 0x4400 and 0x4000000");
  }
};

PluginImage WithRegionEntryCount(std::uint32_t count) {
  PluginImage image = PluginImage::Build(WithoutTrailer());
  image.PutInRegionTables(region_field::kEntryCount, count);
  return image;
}

TEST(NumberBaseAcrossImages, DiagnosticLineAfterHexadecimalWithPrefix) {
  ScratchDirectory scratch;
  const HexLeavingImage first;
  const PluginImage second = WithRegionEntryCount(3);
  const auto paths = WriteInListingOrder(scratch.path(), {&first.image, &second});

  const ToolRun run = RunTool({"-p", scratch.path().string()});
  EXPECT_EQ(run.out, first.Output(paths[0]) + Corrupt("Entry count is: 0x3 Entry count should be 2."));
  EXPECT_EQ(run.status, 0);
}

// Both numbers of the short-read line follow the base in force, the
// constant 1048576 too.
TEST(NumberBaseAcrossImages, ShortFileAfterHexadecimalWithPrefix) {
  ScratchDirectory scratch;
  const HexLeavingImage first;
  const PluginImage second = PluginImage::Build(WithoutTrailer());
  const auto paths = WriteInListingOrder(scratch.path(), {&first.image, &second});
  std::filesystem::resize_file(scratch.path() / NamesInListingOrder(scratch.path())[1], 1000);

  const ToolRun run = RunTool({"-p", scratch.path().string()});
  EXPECT_EQ(run.out, first.Output(paths[0]) + Corrupt("Attemped to read 0x100000 bytes, but 0x3e8 were read."));
  EXPECT_EQ(run.status, 0);
}

TEST(NumberBaseAcrossImages, ReportAfterHexadecimalWithPrefix) {
  ScratchDirectory scratch;
  const HexLeavingImage first;
  const PluginImage second = PluginImage::Build(WithTellingHeaderValues());
  const auto paths = WriteInListingOrder(scratch.path(), {&first.image, &second});

  ExpectedReport report = ReportOf(second, paths[1]);
  report.base = Base::kHexWithPrefix;
  const ToolRun run = RunTool({"-p", scratch.path().string()});
  EXPECT_EQ(run.out, first.Output(paths[0]) + ContainerReport(report));
  EXPECT_NE(run.out.find("SequenceNumber:   0x1a\nVersion:          0xa\nLogVersion:       0xb\n"), std::string::npos);
  EXPECT_EQ(run.status, 0);
}

// After a valid image's partition-table report the next image's line is in
// hexadecimal with the prefix: the count is written 0xa rather than 10.
TEST(NumberBaseAcrossImages, DiagnosticLineAfterAPartitionTableReport) {
  ScratchDirectory scratch;
  const PluginImage first = PluginImage::Build(ImageDescription{});
  const PluginImage second = WithRegionEntryCount(10);
  const auto paths = WriteInListingOrder(scratch.path(), {&first, &second});

  const ToolRun run = RunTool({"-p", scratch.path().string()});
  EXPECT_EQ(run.out, ContainerReport(ReportOf(first, paths[0])) +
                         ExpectedTablesOf(first, StandardPartitions(512, kGiB)).Render() +
                         Corrupt("Entry count is: 0xa Entry count should be 2."));
  EXPECT_EQ(run.status, 0);
}

// The warning of an image that then fails leaves hexadecimal without the
// prefix for the next image.
TEST(NumberBaseAcrossImages, DiagnosticLineAfterAWarningWithoutPrefix) {
  ScratchDirectory scratch;
  ImageDescription d = WithoutTrailer();
  d.nVirtualDiskSize = 0;
  PluginImage first = PluginImage::Build(d);
  first.PutInPluginItem(plugin_field::kMbrGptSize, 0);
  const PluginImage second = WithRegionEntryCount(12);
  const auto paths = WriteInListingOrder(scratch.path(), {&first, &second});

  const ToolRun run = RunTool({"-p", scratch.path().string()});
  EXPECT_EQ(run.out, "VIRTUAL_DISK_SIZE->VirtualDiskSize is: 40000000 PLUGIN_VHDX_METADATA->nVirtualDiskSize 0\n" +
                         Corrupt("table_PLUGIN_VHDX_METADATA->nMbrGptSize is: 0") +
                         Corrupt("Entry count is: c Entry count should be 2."));
  EXPECT_EQ(run.status, 0);
}

// A report ends in decimal with the prefix flag on: the next image's line is
// decimal, and a warning after it carries the prefix, as do the first three
// values of that image's report.
TEST(NumberBaseAcrossImages, AfterAReportThePrefixFlagStaysOn) {
  ScratchDirectory scratch;
  const PluginImage first = PluginImage::Build(WithoutTrailer());
  const PluginImage second = WithRegionEntryCount(12);
  ImageDescription warned = WithTellingHeaderValues();
  warned.nVirtualDiskSize = 0x3FF00400 - 0x4400;
  PluginImage third = PluginImage::Build(warned);
  third.PutInMetadataItem(kVirtualDiskSizeItem, virtual_disk_size_field::kVirtualDiskSize, 0x3FF00800);
  const auto paths = WriteInListingOrder(scratch.path(), {&first, &second, &third});

  ExpectedReport thirdReport = ReportOf(third, paths[2]);
  thirdReport.virtualDiskSize = 0x3FF00800;
  thirdReport.base = Base::kHexWithPrefix;
  const ToolRun run = RunTool({"-p", scratch.path().string()});
  EXPECT_EQ(run.out, ContainerReport(ReportOf(first, paths[0])) +
                         Corrupt("Entry count is: 12 Entry count should be 2.") +
                         "VIRTUAL_DISK_SIZE->VirtualDiskSize is: 0x3ff00800 PLUGIN_VHDX_METADATA->nVirtualDiskSize "
                         "0x3fefc000\n" +
                         ContainerReport(thirdReport));
  EXPECT_EQ(run.status, 0);
}

}  // namespace
}  // namespace e2e
