// One inspection as a value: the records of a sound image, what is absent
// after a failure, the verdicts, the warnings, and the failures outside the
// image (a read that fails, a buffer that cannot be allocated) with the
// system's status and the line the text report prints for them.
#include "vhdx_inspect/inspect.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "inspect/inspect_opened.h"
#include "support/faulty_file.h"
#include "support/plugin_image.h"
#include "support/refused_allocation.h"
#include "views/text/messages.h"

namespace inspect_test {
namespace {

using testsupport::ImageDescription;
using testsupport::PluginImage;
using vhdx_inspect::Check;
using vhdx_inspect::Inspection;
using vhdx_inspect::Verdict;

// The status the failing file reports: a number whose hexadecimal form
// differs from its decimal one.
constexpr std::uint32_t kIoStatus = 1117;
constexpr std::size_t kHeaderSectionBufferSize = 1048576;
constexpr std::size_t kMetadataBufferSize = 2097152;

const PluginImage& SampleImage() {
  static const PluginImage image = PluginImage::Build(ImageDescription{});
  return image;
}

Inspection InspectFaulty(const PluginImage& image, std::optional<testsupport::ReadFault> fault,
                         testsupport::ReadLog& reads) {
  vhdx_inspect::Inspector inspector;
  return vhdx_inspect::detail::inspect::InspectOpened(inspector, "image.vhdx",
                                                      testsupport::OpenFaultyFile(image.bytes(), reads, fault));
}

TEST(Inspection, SoundSampleHasEveryRecord) {
  vhdx_inspect::Inspector inspector;
  const Inspection result = inspector.Inspect(SampleImage().bytes(), "sample.vhdx");
  EXPECT_EQ(result.path, "sample.vhdx");
  EXPECT_EQ(result.verdict, Verdict::kSound);
  EXPECT_FALSE(result.failure);
  ASSERT_TRUE(result.header && result.regions && result.metadata && result.plugin && result.partition_area);
  EXPECT_EQ(result.header->sequence_number, 2u);
  EXPECT_EQ(vhdx_inspect::FormatGuid(result.header->file_write_guid), "3e1a5c07-91b4-4f2d-a86e-0c5d2b7f4e19");
  EXPECT_TRUE(result.header->log_guid.IsZero());
  EXPECT_EQ(result.regions->metadata_offset, 0x200000u);
  EXPECT_EQ(result.regions->data_area_offset, 0x400000u);
  EXPECT_EQ(result.metadata->logical_sector_size, 512u);
  EXPECT_EQ(result.metadata->chunk_ratio, 128u);
  ASSERT_EQ(result.volumes.size(), 2u);
  EXPECT_EQ(result.volumes[1].image_file_list, "D:\\Images\\data-1.twb|D:\\Images\\data-2.twb");
  EXPECT_EQ(result.volumes[1].image_file_list_bytes, 2u * 41);
  EXPECT_EQ(result.partition_area->mbr_gpt_size, 0x4400);
  ASSERT_TRUE(result.mbr && result.primary_gpt && result.backup_gpt);
  ASSERT_EQ(result.primary_gpt->entries.size(), 3u);
  EXPECT_EQ(result.primary_gpt->entries[2].name, "Basic data partition");
  EXPECT_EQ(result.primary_gpt->entries[2].type_name, "Data partition");
  EXPECT_EQ(result.backup_gpt->entries.size(), 3u);
  EXPECT_TRUE(result.gpt_findings.empty());
  EXPECT_TRUE(result.warnings.empty());
}

TEST(Inspection, RecordsAfterAFailedCheckAreAbsent) {
  PluginImage image = PluginImage::Build(ImageDescription{});
  image.PutInMetadataRegion(testsupport::metadata_field::kSignature, "metadatx");
  vhdx_inspect::Inspector inspector;
  const Inspection result = inspector.Inspect(image.bytes());
  EXPECT_EQ(result.verdict, Verdict::kCorrupt);
  ASSERT_TRUE(result.failure);
  EXPECT_EQ(result.failure->check, Check::kMetadataTableSignature);
  EXPECT_TRUE(result.header && result.regions);
  EXPECT_FALSE(result.metadata || result.plugin || result.partition_area || result.mbr || result.primary_gpt);
  EXPECT_TRUE(result.volumes.empty());
}

TEST(Inspection, VerdictsForWhatUsersBranchOn) {
  struct Case {
    const char* what;
    std::function<void(ImageDescription&)> describe;
    std::function<void(PluginImage&)> damage;
    Verdict verdict;
  };
  const Case cases[] = {
      {"sound", {}, {}, Verdict::kSound},
      {"another maker's VHDX", [](ImageDescription& d) { d.creator = u"Someone Else 1.0"; }, {}, Verdict::kNotPlugin},
      {"a backup header changed",
       {},
       [](PluginImage& i) { i.Put8(i.layout().backupGptHeader + 40, 0x77); },
       Verdict::kGptMismatch},
      {"a stale region table",
       {},
       [](PluginImage& i) {
         i.Put8(i.layout().regionTable(1) + 1000, 0x5A);
         i.Put8(i.layout().regionTable(2) + 1000, 0x5A);
       },
       Verdict::kCorrupt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ImageDescription d;
    if (c.describe) c.describe(d);
    PluginImage image = PluginImage::Build(d);
    if (c.damage) c.damage(image);
    vhdx_inspect::Inspector inspector;
    const Inspection result = inspector.Inspect(image.bytes());
    EXPECT_EQ(result.verdict, c.verdict);
    EXPECT_EQ(result.failure.has_value(), c.verdict == Verdict::kCorrupt || c.verdict == Verdict::kNotPlugin);
  }
}

TEST(Inspection, ANonZeroLogGuidIsAWarningOnly) {
  ImageDescription d;
  d.logGuid = testsupport::GuidFromString("11111111-2222-3333-4444-555555555555");
  vhdx_inspect::Inspector inspector;
  const Inspection result = inspector.Inspect(PluginImage::Build(d).bytes());
  EXPECT_EQ(result.verdict, Verdict::kSound);
  ASSERT_EQ(result.warnings.size(), 1u);
  EXPECT_EQ(result.warnings[0].check, Check::kLogNotReplayed);
  EXPECT_EQ(vhdx_inspect::FormatGuid(result.header->log_guid), "11111111-2222-3333-4444-555555555555");
}

TEST(Inspection, VirtualSizeWarningKeepsTheInspectionGoing) {
  ImageDescription d;
  d.nVirtualDiskSize = 0x1000;
  vhdx_inspect::Inspector inspector;
  const Inspection result = inspector.Inspect(PluginImage::Build(d).bytes());
  EXPECT_EQ(result.verdict, Verdict::kSound);
  ASSERT_EQ(result.warnings.size(), 1u);
  EXPECT_EQ(result.warnings[0].check, Check::kVirtualDiskSizeMismatch);
  // The first line of a run: hexadecimal without the prefix.
  EXPECT_EQ(vhdx_inspect::views::text::WarningMessage(result, result.warnings[0]),
            "VIRTUAL_DISK_SIZE->VirtualDiskSize is: 40000000 PLUGIN_VHDX_METADATA->nVirtualDiskSize 1000");
}

// A failure outside the image: a read that fails or a buffer that cannot be
// allocated. The line's status is in the base in force for the image alone:
// decimal in the container stages, hexadecimal with the prefix after the
// three size lines.
TEST(InspectionFailure, OutsideTheImageNamesTheSystemStatus) {
  const testsupport::Layout& at = SampleImage().layout();
  struct Case {
    const char* what;
    std::optional<testsupport::ReadFault> fault;
    std::size_t refusedBuffer;
    Check check;
    std::uint32_t status;
    std::string message;
    testsupport::ReadLog reads;
  };
  const Case cases[] = {
      {"stage 1 read",
       testsupport::ReadFault{0, kIoStatus},
       0,
       Check::kHeaderSectionRead,
       kIoStatus,
       "ReadFile failed with status 1117 for file: image.vhdx",
       {0}},
      {"header section buffer",
       std::nullopt,
       kHeaderSectionBufferSize,
       Check::kOutOfMemory,
       vhdx_inspect::detail::platform::kOutOfMemoryStatus,
       "Cannot allocate memory for the inspection.",
       {}},
      {"stage 2 read",
       testsupport::ReadFault{at.metadataRegion, kIoStatus},
       0,
       Check::kMetadataRegionRead,
       kIoStatus,
       "",
       {0, at.metadataRegion}},
      {"metadata buffer",
       std::nullopt,
       kMetadataBufferSize,
       Check::kOutOfMemory,
       vhdx_inspect::detail::platform::kOutOfMemoryStatus,
       "Cannot allocate memory for the inspection.",
       {0}},
      {"partition area read",
       testsupport::ReadFault{at.dataArea, kIoStatus},
       0,
       Check::kPartitionAreaRead,
       kIoStatus,
       "ReadFile failed with status 0x45d for file: image.vhdx",
       {0, at.metadataRegion, at.dataArea}},
      {"trailer read",
       testsupport::ReadFault{at.trailer, kIoStatus},
       0,
       Check::kGptTrailerRead,
       kIoStatus,
       "ReadFile failed with status 0x45d for file: image.vhdx",
       {0, at.metadataRegion, at.dataArea, at.trailer}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::optional<testsupport::RefusedAllocation> refused;
    if (c.refusedBuffer != 0) refused.emplace(c.refusedBuffer);
    testsupport::ReadLog reads;
    const Inspection result = InspectFaulty(SampleImage(), c.fault, reads);
    EXPECT_EQ(result.verdict, Verdict::kUnreadable);
    ASSERT_TRUE(result.failure);
    EXPECT_EQ(result.failure->check, c.check);
    EXPECT_EQ(result.failure->system_status, c.status);
    EXPECT_EQ(vhdx_inspect::views::text::FailureMessage(result), c.message);
    EXPECT_EQ(reads, c.reads) << "each area is read once";
  }
}

TEST(InspectionFailure, AFileThatCannotBeOpenedGivesTheOpenLine) {
  vhdx_inspect::Inspector inspector;
  const Inspection result = vhdx_inspect::detail::inspect::InspectOpened(
      inspector, "missing.vhdx", vhdx_inspect::detail::platform::OpenResult{nullptr, 2});
  EXPECT_EQ(result.verdict, Verdict::kUnreadable);
  ASSERT_TRUE(result.failure);
  EXPECT_EQ(result.failure->check, Check::kImageOpen);
  EXPECT_EQ(vhdx_inspect::views::text::FailureMessage(result),
            "CreateFile failed with status 2 for file: missing.vhdx");
  EXPECT_FALSE(result.header);
}

// One inspector serves image after image: its buffers never carry one
// image's bytes into the next one's result.
TEST(Inspector, ReusedAcrossImagesGivesTheSameResultsAsFreshOnes) {
  ImageDescription small;
  small.logicalSectorSize = 4096;
  small.volumes.resize(1);
  const PluginImage images[] = {PluginImage::Build(ImageDescription{}), PluginImage::Build(small)};
  vhdx_inspect::Inspector reused;
  // The two differ, so a result that kept the other image's values shows.
  ASSERT_FALSE(reused.Inspect(images[0].bytes()) == reused.Inspect(images[1].bytes()));
  for (int round = 0; round < 2; ++round) {
    for (const PluginImage& image : images) {
      vhdx_inspect::Inspector fresh;
      const Inspection a = reused.Inspect(image.bytes());
      const Inspection b = fresh.Inspect(image.bytes());
      EXPECT_TRUE(a == b) << "round " << round << ", logical sector size "
                          << (b.metadata ? b.metadata->logical_sector_size : 0);
    }
  }
}

}  // namespace
}  // namespace inspect_test
