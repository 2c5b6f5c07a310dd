// The GPT verification of the built binary: one image per case, changed in
// the field the case is about, at 512- and at 4096-byte sectors, comparing
// everything after the container report. The checksums in the expectations
// are computed by the test support's own CRC-32 over the bytes the test wrote.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "partition_expected.h"
#include "run_tool.h"
#include "support/checksums.h"
#include "support/plugin_image.h"

namespace e2e {
namespace {

using namespace testsupport;

std::uint32_t Flipped(std::uint64_t value, std::uint32_t bits) { return static_cast<std::uint32_t>(value) ^ bits; }

struct VerificationCase {
  const char* what;
  // Changes the image built from the sample description at the case's sector size.
  std::function<void(ImageDescription&)> describe;
  std::function<void(PluginImage&)> change;
  // Turns the expectation for the unchanged image into the one for the
  // changed image, which it may read checksums from.
  std::function<void(PartitionTablesText&, const PluginImage&)> expect;
};

const std::string kLbaMy = "pEfiHeader->MyLBA is invalid.  ";
const std::string kLbaAlternate = "pEfiHeader->AlternateLBA is invalid.  ";
const std::string kLbaFirstUsable = "pEfiHeader->FirstUsableLBA is invalid.  ";
const std::string kLbaLastUsable = "pEfiHeader->LastUsableLBA is invalid.  ";
const std::string kArrayCrcsDiffer = "pEfiHeader->PartitionEntryArrayCRC32 is invalid.  ";
const std::string kHeaderCrc = "HeaderCRC32 is invalid.  ";
const std::string kArrayCrc = "PartitionEntryArrayCRC32 is invalid.  ";

// What an all-zero backup GPT beside a sound primary prints: every header
// check of the trailer, every cross check and the final comparison.
void ExpectZeroTrailer(PartitionTablesText& t) {
  const GptHeaderText primary = t.primaryHeader;
  t.backupEntries.clear();
  t.backupHeader = GptHeaderText{"", 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  t.verification.trailer =
      HeaderCheckFailed("Signature is invalid.  ") + HeaderCheckFailed("Revision is invalid.  ") +
      HeaderCheckFailed("HeaderSize is invalid.  ") + HeaderCheckFailed("NumberOfPartitionEntries is invalid.  ") +
      HeaderCheckFailed("SizeOfPartitionEntry is invalid.  ") +
      ChecksumCheckFailed(kHeaderCrc, 0, HeaderChecksumOf(std::vector<std::byte>(kGptHeaderSize))) +
      ChecksumCheckFailed(kArrayCrc, 0, Crc32(std::vector<std::byte>(kGptEntryArraySize)));
  t.verification.lbaEntries = CrossCheckFailed(kLbaMy, primary.myLba, 0) +
                              CrossCheckFailed(kLbaAlternate, primary.alternateLba, 0) +
                              CrossCheckFailed(kLbaFirstUsable, primary.firstUsableLba, 0) +
                              CrossCheckFailed(kLbaLastUsable, primary.lastUsableLba, 0);
  t.verification.entryArrayCrc = CrossCheckFailed(kArrayCrcsDiffer, primary.partitionEntryArrayCrc32, 0);
}

std::vector<VerificationCase> Cases() {
  const auto noDescription = [](ImageDescription&) {};
  return {
      {"a consistent pair, MyLBA and AlternateLBA crossed", noDescription, [](PluginImage&) {},
       [](PartitionTablesText&, const PluginImage&) {}},

      {"a backup header that is a plain copy of the primary", noDescription,
       [](PluginImage& image) {
         const auto primary = image.View(image.layout().primaryGptHeader, kGptHeaderSize);
         image.PutBytes(image.layout().backupGptHeader, std::vector<std::byte>(primary.begin(), primary.end()));
       },
       [](PartitionTablesText& t, const PluginImage& image) {
         const std::uint64_t lastLba = image.layout().diskSectors - 1;
         t.backupHeader = t.primaryHeader;
         t.verification.lbaEntries =
             CrossCheckFailed(kLbaMy, 0x1, lastLba) + CrossCheckFailed(kLbaAlternate, lastLba, 0x1);
       }},

      {"backup AlternateLBA alone differs from the primary MyLBA", noDescription,
       [](PluginImage& image) { image.PutInGptHeader(GptCopy::kBackup, gpt_header_field::kAlternateLba, 2); },
       [](PartitionTablesText& t, const PluginImage& image) {
         t.backupHeader.alternateLba = 2;
         t.backupHeader.headerCrc32 = image.Get(image.layout().backupGptHeader, gpt_header_field::kHeaderCrc32);
         t.verification.lbaEntries = CrossCheckFailed(kLbaMy, 0x1, 0x2);
       }},

      {"fields that are not compared: DiskGUID, PartitionEntryLBA, the entries", noDescription,
       [](PluginImage& image) {
         image.PutInGptHeader(GptCopy::kBackup, gpt_header_field::kDiskGuid,
                              GuidFromString("00000000-1111-2222-3333-444444444444"));
         image.PutInGptHeader(GptCopy::kBackup, gpt_header_field::kPartitionEntryLba, 5);
       },
       [](PartitionTablesText& t, const PluginImage& image) {
         t.backupHeader.partitionEntryLba = 5;
         t.backupHeader.headerCrc32 = image.Get(image.layout().backupGptHeader, gpt_header_field::kHeaderCrc32);
       }},

      {"HeaderSize above 92 with HeaderCRC32 over that size", noDescription,
       [](PluginImage& image) {
         const std::uint64_t at = image.layout().primaryGptHeader;
         image.Put32(at + kGptHeaderSize, 0xDEADBEEF);  // bytes 92 to 95 of the header sector
         image.Put(at, gpt_header_field::kHeaderSize, 96);
         image.Put(at, gpt_header_field::kHeaderCrc32, 0);
         image.Put(at, gpt_header_field::kHeaderCrc32, Crc32(image.View(at, 96)));
       },
       [](PartitionTablesText& t, const PluginImage& image) {
         const std::uint64_t at = image.layout().primaryGptHeader;
         const std::uint64_t storedOver96 = image.Get(at, gpt_header_field::kHeaderCrc32);
         t.primaryHeader.headerSize = 0x60;
         t.primaryHeader.headerCrc32 = storedOver96;
         t.verification.header = HeaderCheckFailed("HeaderSize is invalid.  ") +
                                 ChecksumCheckFailed(kHeaderCrc, storedOver96, HeaderChecksumAt(image, at));
       }},

      {"a stored HeaderCRC32 that is wrong: the calculated value ignores it", noDescription,
       [](PluginImage& image) {
         const std::uint64_t at = image.layout().backupGptHeader;
         image.Put(at, gpt_header_field::kHeaderCrc32, Flipped(image.Get(at, gpt_header_field::kHeaderCrc32), 1));
       },
       [](PartitionTablesText& t, const PluginImage&) {
         const std::uint64_t sound = t.backupHeader.headerCrc32;
         t.backupHeader.headerCrc32 = Flipped(sound, 1);
         t.verification.trailer = ChecksumCheckFailed(kHeaderCrc, Flipped(sound, 1), sound);
       }},

      {"256 entries, with more entries after the first 16384 bytes", noDescription,
       [](PluginImage& image) {
         const Layout& L = image.layout();
         image.PutInGptHeader(GptCopy::kPrimary, gpt_header_field::kNumberOfPartitionEntries, 256);
         SetPartitionAreaSize(image, static_cast<std::int64_t>(L.partitionAreaSize + kGptEntryArraySize));
         const auto array = image.View(L.primaryGptEntries, kGptEntryArraySize);
         image.PutBytes(L.primaryGptEntries + kGptEntryArraySize, std::vector<std::byte>(array.begin(), array.end()));
       },
       [](PartitionTablesText& t, const PluginImage& image) {
         t.areaSize += kGptEntryArraySize;
         t.primaryHeader.numberOfPartitionEntries = 0x100;
         t.primaryHeader.headerCrc32 = image.Get(image.layout().primaryGptHeader, gpt_header_field::kHeaderCrc32);
         t.verification.header = HeaderCheckFailed("NumberOfPartitionEntries is invalid.  ");
       }},

      {"a primary array edited without updating its header", noDescription,
       [](PluginImage& image) { image.Put(image.layout().primaryGptEntries, gpt_entry_field::kLastLba, 0x1234); },
       [](PartitionTablesText& t, const PluginImage& image) {
         t.primaryEntries[0].lastLba = 0x1234;
         t.verification.header = ChecksumCheckFailed(kArrayCrc, t.primaryHeader.partitionEntryArrayCrc32,
                                                     EntryArrayChecksumAt(image, image.layout().primaryGptEntries));
       }},

      {"a backup array edited with its checksums updated", noDescription,
       [](PluginImage& image) { image.PutInGptEntry(GptCopy::kBackup, 1, gpt_entry_field::kName, u"Changed"); },
       [](PartitionTablesText& t, const PluginImage& image) {
         const std::uint64_t at = image.layout().backupGptHeader;
         t.backupEntries[1].name = "Changed";
         t.backupEntries[1].invalidName = true;  // a Microsoft reserved partition
         t.backupHeader.headerCrc32 = image.Get(at, gpt_header_field::kHeaderCrc32);
         t.backupHeader.partitionEntryArrayCrc32 = image.Get(at, gpt_header_field::kPartitionEntryArrayCrc32);
         t.verification.entryArrayCrc = CrossCheckFailed(kArrayCrcsDiffer, t.primaryHeader.partitionEntryArrayCrc32,
                                                         t.backupHeader.partitionEntryArrayCrc32);
       }},

      {"a backup PartitionEntryArrayCRC32 that is wrong, the header checksum kept valid", noDescription,
       [](PluginImage& image) {
         const std::uint64_t stored =
             image.Get(image.layout().backupGptHeader, gpt_header_field::kPartitionEntryArrayCrc32);
         image.PutInGptHeader(GptCopy::kBackup, gpt_header_field::kPartitionEntryArrayCrc32,
                              Flipped(stored, 0x80000000));
       },
       [](PartitionTablesText& t, const PluginImage& image) {
         const std::uint64_t sound = t.backupHeader.partitionEntryArrayCrc32;
         t.backupHeader.partitionEntryArrayCrc32 = Flipped(sound, 0x80000000);
         t.backupHeader.headerCrc32 = image.Get(image.layout().backupGptHeader, gpt_header_field::kHeaderCrc32);
         t.verification.trailer = ChecksumCheckFailed(kArrayCrc, Flipped(sound, 0x80000000), sound);
         t.verification.entryArrayCrc = CrossCheckFailed(kArrayCrcsDiffer, sound, Flipped(sound, 0x80000000));
       }},

      {"backup fields that fail the checks, in the order of the checks", noDescription,
       [](PluginImage& image) {
         const std::uint64_t at = image.layout().backupGptHeader;
         const std::uint64_t first = image.Get(at, gpt_header_field::kFirstUsableLba);
         const std::uint64_t last = image.Get(at, gpt_header_field::kLastUsableLba);
         image.PutInGptHeader(GptCopy::kBackup, gpt_header_field::kSignature, "EFI PARX");
         image.PutInGptHeader(GptCopy::kBackup, gpt_header_field::kRevision, 0x41414141);
         image.PutInGptHeader(GptCopy::kBackup, gpt_header_field::kSizeOfPartitionEntry, 0x100);
         image.PutInGptHeader(GptCopy::kBackup, gpt_header_field::kFirstUsableLba, first + 1);
         image.PutInGptHeader(GptCopy::kBackup, gpt_header_field::kLastUsableLba, last - 1);
       },
       [](PartitionTablesText& t, const PluginImage& image) {
         const GptHeaderText primary = t.primaryHeader;
         t.backupHeader.signature = "EFI PARX";  // no zero byte: all 8 bytes print
         t.backupHeader.revision = 0x41414141;
         t.backupHeader.sizeOfPartitionEntry = 0x100;
         t.backupHeader.firstUsableLba = primary.firstUsableLba + 1;
         t.backupHeader.lastUsableLba = primary.lastUsableLba - 1;
         t.backupHeader.headerCrc32 = image.Get(image.layout().backupGptHeader, gpt_header_field::kHeaderCrc32);
         t.verification.trailer = HeaderCheckFailed("Signature is invalid.  ") +
                                  HeaderCheckFailed("Revision is invalid.  ") +
                                  HeaderCheckFailed("SizeOfPartitionEntry is invalid.  ");
         t.verification.lbaEntries =
             CrossCheckFailed(kLbaFirstUsable, primary.firstUsableLba, primary.firstUsableLba + 1) +
             CrossCheckFailed(kLbaLastUsable, primary.lastUsableLba, primary.lastUsableLba - 1);
       }},

      {"a primary signature with a zero byte prints up to it", noDescription,
       [](PluginImage& image) {
         image.PutInGptHeader(GptCopy::kPrimary, gpt_header_field::kSignature, std::string_view("EFI\0PART", 8));
       },
       [](PartitionTablesText& t, const PluginImage& image) {
         t.primaryHeader.signature = "EFI";
         t.primaryHeader.headerCrc32 = image.Get(image.layout().primaryGptHeader, gpt_header_field::kHeaderCrc32);
         t.verification.header = HeaderCheckFailed("Signature is invalid.  ");
       }},

      {"an all-zero trailer",
       [](ImageDescription& d) { d.trailerBytes = std::vector<std::byte>(GptTrailerLength(d.logicalSectorSize)); },
       [](PluginImage&) {}, [](PartitionTablesText& t, const PluginImage&) { ExpectZeroTrailer(t); }},

      {"a trailer offset past the end of the file reads as zeros", noDescription,
       [](PluginImage& image) { image.PutInPluginItem(plugin_field::kGptTrailerDiskOffset, 256 * kMiB); },
       [](PartitionTablesText& t, const PluginImage&) {
         t.trailerOffset = 256 * kMiB;
         ExpectZeroTrailer(t);
       }},
  };
}

class GptVerification : public ::testing::TestWithParam<std::uint32_t> {};

TEST_P(GptVerification, EachCheckReportsItsFieldAndNothingElse) {
  const std::uint32_t sectorSize = GetParam();
  for (const VerificationCase& c : Cases()) {
    SCOPED_TRACE(c.what);
    ImageDescription d;
    d.logicalSectorSize = sectorSize;
    const std::vector<GptPartition> partitions = StandardPartitions(sectorSize, d.virtualDiskSize);
    d.partitions = partitions;
    c.describe(d);
    PluginImage image = PluginImage::Build(d);
    // The expectation starts from the sound tables; a supplied trailer has none.
    ImageDescription sound = d;
    sound.trailerBytes.reset();
    PartitionTablesText expected = ExpectedTablesOf(PluginImage::Build(sound), partitions);
    c.change(image);
    c.expect(expected, image);
    ScratchDirectory scratch;
    const ToolRun run = InspectImage(image, scratch);
    EXPECT_EQ(AfterContainerReport(run.out), expected.Render());
    EXPECT_EQ(run.status, 0);
  }
}

INSTANTIATE_TEST_SUITE_P(SectorSizes, GptVerification, ::testing::Values(512u, 4096u),
                         [](const ::testing::TestParamInfo<std::uint32_t>& info) {
                           return "Sector" + std::to_string(info.param);
                         });

}  // namespace
}  // namespace e2e
