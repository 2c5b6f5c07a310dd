// The two container stages: every check of the header section and of the
// metadata region, each reached by an image damaged in one named way, in the
// order the checks run, inspected in memory. A failed check ends the
// inspection with its check and its one line.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "support/container_damage.h"
#include "support/plugin_image.h"
#include "vhdx_inspect/inspect.h"
#include "views/text/messages.h"

namespace inspect_test {
namespace {

using namespace testsupport;
using vhdx_inspect::Check;

// Swaps two equally long byte ranges of the image; nothing is recomputed.
void SwapRanges(PluginImage& image, std::uint64_t a, std::uint64_t b, std::uint64_t length) {
  const auto first = image.View(a, length);
  const std::vector<std::byte> saved(first.begin(), first.end());
  const auto second = image.View(b, length);
  const std::vector<std::byte> other(second.begin(), second.end());
  image.PutBytes(a, other);
  image.PutBytes(b, saved);
}

void SwapMetadataEntries(PluginImage& image, int a, int b) {
  SwapRanges(image, image.layout().metadataEntry(a), image.layout().metadataEntry(b), 32);
}

// Changes one covered byte of a region table copy, leaving its checksum stale.
void BreakRegionTable(PluginImage& image, int copy) { image.Put8(image.layout().regionTable(copy) + 1000, 0x5A); }

// ---------------------------------------------------------------------------
// Failed checks: one image, one fault, one line.

struct FailureCase {
  std::string name;
  std::function<void(ImageDescription&)> describe;  // the sample without a trailer when empty
  std::function<void(PluginImage&)> damage;
  std::string line;
  Check check{};
};

std::ostream& operator<<(std::ostream& out, const FailureCase& c) { return out << c.name; }

std::string NameOf(const testing::TestParamInfo<FailureCase>& info) { return info.param.name; }

class HeaderSectionCheck : public testing::TestWithParam<FailureCase> {};
class MetadataCheck : public testing::TestWithParam<FailureCase> {};
class MetadataBoundsCheck : public testing::TestWithParam<FailureCase> {};

void ExpectFailure(const FailureCase& c) {
  ImageDescription d = WithoutTrailer();
  if (c.describe) c.describe(d);
  PluginImage image = PluginImage::Build(d);
  if (c.damage) c.damage(image);
  vhdx_inspect::Inspector inspector;
  const vhdx_inspect::Inspection inspection = inspector.Inspect(image.bytes(), c.name + ".vhdx");
  ASSERT_TRUE(inspection.failure.has_value());
  EXPECT_EQ(vhdx_inspect::views::text::FailureMessage(inspection), c.line);
  EXPECT_EQ(vhdx_inspect::CheckName(inspection.failure->check), std::string(vhdx_inspect::CheckName(c.check)));
  EXPECT_FALSE(inspection.failure->system_status.has_value());
  EXPECT_FALSE(inspection.partition_area.has_value()) << "nothing after a failed stage";
}

TEST_P(HeaderSectionCheck, PrintsTheLineOfTheFirstFailedCheck) { ExpectFailure(GetParam()); }
TEST_P(MetadataCheck, PrintsTheLineOfTheFirstFailedCheck) { ExpectFailure(GetParam()); }
TEST_P(MetadataBoundsCheck, PrintsTheLineOfTheFirstFailedCheck) { ExpectFailure(GetParam()); }

const std::string kRequiredCreator = "Tallowbridge Technology Corporation 1.0";

// Stage 1, in check order.
std::vector<FailureCase> HeaderSectionCases() {
  return {
      {"signature_one_letter_off",
       {},
       [](PluginImage& i) { i.PutInFileIdentifier(file_identifier_field::kSignature, "vhdxfilf"); },
       "Not a VHDX signature.",
       Check::kFileIdentifierSignature},
      {"signature_in_upper_case",
       {},
       [](PluginImage& i) { i.PutInFileIdentifier(file_identifier_field::kSignature, "VHDXFILE"); },
       "Not a VHDX signature.",
       Check::kFileIdentifierSignature},
      {"alternative_signature_in_upper_case",
       {},
       [](PluginImage& i) { i.PutInFileIdentifier(file_identifier_field::kSignature, "VHDX.TWB"); },
       "Not a VHDX signature.",
       Check::kFileIdentifierSignature},
      {"signature_and_creator_both_wrong", [](ImageDescription& d) { d.creator = u"Someone Else"; },
       [](PluginImage& i) { i.PutInFileIdentifier(file_identifier_field::kSignature, "head"); },
       "Not a VHDX signature.", Check::kFileIdentifierSignature},
      {"creator_of_another_maker",
       [](ImageDescription& d) { d.creator = u"Someone Else 1.0"; },
       {},
       "VHDX not created by Tallowbridge.",
       Check::kFileIdentifierCreator},
      {"creator_of_another_version",
       [](ImageDescription& d) { d.creator = u"Tallowbridge Technology Corporation 1.1"; },
       {},
       "VHDX not created by Tallowbridge.",
       Check::kFileIdentifierCreator},
      {"creator_continues_without_terminator",
       [](ImageDescription& d) { d.creator = u"Tallowbridge Technology Corporation 1.0b"; },
       {},
       "VHDX not created by Tallowbridge.",
       Check::kFileIdentifierCreator},
      {"creator_cut_short",
       [](ImageDescription& d) { d.creator = u"Tallowbridge Technology Corporation 1."; },
       {},
       "VHDX not created by Tallowbridge.",
       Check::kFileIdentifierCreator},
      {"creator_in_ascii",
       {},
       [](PluginImage& i) {
         i.PutInFileIdentifier(file_identifier_field::kCreator, std::string_view(kRequiredCreator));
       },
       "VHDX not created by Tallowbridge.",
       Check::kFileIdentifierCreator},
      {"creator_empty",
       [](ImageDescription& d) { d.creator = u""; },
       {},
       "VHDX not created by Tallowbridge.",
       Check::kFileIdentifierCreator},
      {"current_header_signature",
       {},
       [](PluginImage& i) { i.PutInHeader(2, header_field::kSignature, "hexd"); },
       "Not a valid header.",
       Check::kHeaderSignature},
      {"current_header_signature_and_checksum",
       {},
       [](PluginImage& i) { i.Put(i.layout().header(2), header_field::kSignature, "hexd"); },
       "Not a valid header.",
       Check::kHeaderSignature},
      {"current_header_checksum_while_the_other_is_intact",
       {},
       [](PluginImage& i) { BreakHeaderChecksum(i, 2); },
       "Not a valid header CRC.",
       Check::kHeaderCrc},
      {"current_header_last_covered_byte",
       {},
       [](PluginImage& i) { i.Put8(i.layout().header(2) + 4095, 0x01); },
       "Not a valid header CRC.",
       Check::kHeaderCrc},
      {"header1_greater_with_a_wrong_checksum",
       [](ImageDescription& d) {
         d.header1SequenceNumber = 3;
         d.header2SequenceNumber = 2;
       },
       [](PluginImage& i) { BreakHeaderChecksum(i, 1); }, "Not a valid header CRC.", Check::kHeaderCrc},
      {"header1_greater_with_a_wrong_signature",
       [](ImageDescription& d) {
         d.header1SequenceNumber = 3;
         d.header2SequenceNumber = 2;
       },
       [](PluginImage& i) { i.PutInHeader(1, header_field::kSignature, "HEAD"); }, "Not a valid header.",
       Check::kHeaderSignature},
      {"equal_sequence_numbers_choose_header2",
       [](ImageDescription& d) {
         d.header1SequenceNumber = 5;
         d.header2SequenceNumber = 5;
       },
       [](PluginImage& i) { BreakHeaderChecksum(i, 2); }, "Not a valid header CRC.", Check::kHeaderCrc},
      {"sequence_numbers_compared_unsigned",
       [](ImageDescription& d) {
         d.header1SequenceNumber = 0x8000000000000000;
         d.header2SequenceNumber = 1;
       },
       [](PluginImage& i) { BreakHeaderChecksum(i, 1); }, "Not a valid header CRC.", Check::kHeaderCrc},
      {"header_signature_before_region_table",
       {},
       [](PluginImage& i) {
         i.PutInHeader(2, header_field::kSignature, "hexd");
         BreakRegionTable(i, 1);
         BreakRegionTable(i, 2);
       },
       "Not a valid header.",
       Check::kHeaderSignature},
      {"both_region_table_copies_damaged",
       {},
       [](PluginImage& i) {
         BreakRegionTable(i, 1);
         BreakRegionTable(i, 2);
       },
       "Not a valid region CRC.",
       Check::kRegionTableCrc},
      {"both_region_table_checksums_wrong",
       {},
       [](PluginImage& i) {
         for (int copy = 1; copy <= 2; ++copy) {
           const std::uint64_t at = i.layout().regionTable(copy);
           i.Put(at, region_field::kChecksum, i.Get(at, region_field::kChecksum) ^ 0x80000000u);
         }
       },
       "Not a valid region CRC.",
       Check::kRegionTableCrc},
      {"region_signature_of_second_copy_while_first_is_intact",
       {},
       [](PluginImage& i) { i.PutInRegionTable(2, region_field::kSignature, "regx"); },
       "Not a valid region.",
       Check::kRegionTableSignature},
      {"region_signature_of_first_copy_when_second_is_damaged",
       {},
       [](PluginImage& i) {
         BreakRegionTable(i, 2);
         i.PutInRegionTable(1, region_field::kSignature, "REGI");
       },
       "Not a valid region.",
       Check::kRegionTableSignature},
      {"region_signature_before_entry_count",
       {},
       [](PluginImage& i) {
         i.PutInRegionTables(region_field::kSignature, "ireg");
         i.PutInRegionTables(region_field::kEntryCount, 3);
       },
       "Not a valid region.",
       Check::kRegionTableSignature},
      {"region_entry_count_3",
       {},
       [](PluginImage& i) { i.PutInRegionTables(region_field::kEntryCount, 3); },
       "Entry count is: 3 Entry count should be 2.",
       Check::kRegionTableEntryCount},
      {"region_entry_count_0",
       {},
       [](PluginImage& i) { i.PutInRegionTables(region_field::kEntryCount, 0); },
       "Entry count is: 0 Entry count should be 2.",
       Check::kRegionTableEntryCount},
      {"region_entry_count_taken_from_first_copy_when_second_is_damaged",
       {},
       [](PluginImage& i) {
         BreakRegionTable(i, 2);
         i.PutInRegionTable(1, region_field::kEntryCount, 4294967295u);
       },
       "Entry count is: 4294967295 Entry count should be 2.",
       Check::kRegionTableEntryCount},
      {"region_entry_count_taken_from_second_copy_when_both_are_intact",
       {},
       [](PluginImage& i) {
         i.PutInRegionTable(1, region_field::kEntryCount, 7);
         i.PutInRegionTable(2, region_field::kEntryCount, 12);
       },
       "Entry count is: 12 Entry count should be 2.",
       Check::kRegionTableEntryCount},
      {"metadata_entry_first_and_bat_entry_second",
       {},
       [](PluginImage& i) {
         for (int copy = 1; copy <= 2; ++copy) {
           const std::uint64_t table = i.layout().regionTable(copy);
           SwapRanges(i, table + RegionEntry(0, region_entry_field::kGuid).offset,
                      table + RegionEntry(1, region_entry_field::kGuid).offset, 32);
           i.FixRegionTableChecksum(copy);
         }
       },
       "Bad BAT GUID.",
       Check::kBatRegionGuid},
      {"bat_guid_zero",
       {},
       [](PluginImage& i) { i.PutInRegionTables(RegionEntry(0, region_entry_field::kGuid), Guid{}); },
       "Bad BAT GUID.",
       Check::kBatRegionGuid},
      {"bat_guid_before_metadata_guid",
       {},
       [](PluginImage& i) {
         i.PutInRegionTables(RegionEntry(0, region_entry_field::kGuid), kFileParametersGuid);
         i.PutInRegionTables(RegionEntry(1, region_entry_field::kGuid), kFileParametersGuid);
       },
       "Bad BAT GUID.",
       Check::kBatRegionGuid},
      {"metadata_guid_of_the_bat",
       {},
       [](PluginImage& i) { i.PutInRegionTables(RegionEntry(1, region_entry_field::kGuid), kBatRegionGuid); },
       "Bad Metadata GUID.",
       Check::kMetadataRegionGuid},
      {"metadata_guid_last_byte_off",
       {},
       [](PluginImage& i) {
         Guid guid = kMetadataRegionGuid;
         guid.bytes[15] ^= 0x80;
         i.PutInRegionTables(RegionEntry(1, region_entry_field::kGuid), guid);
       },
       "Bad Metadata GUID.",
       Check::kMetadataRegionGuid},
  };
}

INSTANTIATE_TEST_SUITE_P(Container, HeaderSectionCheck, testing::ValuesIn(HeaderSectionCases()), NameOf);

// Stage 2, in check order.
std::vector<FailureCase> MetadataCases() {
  return {
      {"table_signature",
       {},
       [](PluginImage& i) { i.PutInMetadataRegion(metadata_field::kSignature, "metadatx"); },
       "Not a valid metadata table header.",
       Check::kMetadataTableSignature},
      {"table_signature_before_entry_count",
       {},
       [](PluginImage& i) {
         i.PutInMetadataRegion(metadata_field::kSignature, "METADATA");
         i.PutInMetadataRegion(metadata_field::kEntryCount, 5);
       },
       "Not a valid metadata table header.",
       Check::kMetadataTableSignature},
      {"entry_count_5",
       {},
       [](PluginImage& i) { i.PutInMetadataRegion(metadata_field::kEntryCount, 5); },
       "Entry count is: 5 Entry count should be 6.",
       Check::kMetadataTableEntryCount},
      {"entry_count_7",
       {},
       [](PluginImage& i) { i.PutInMetadataRegion(metadata_field::kEntryCount, 7); },
       "Entry count is: 7 Entry count should be 6.",
       Check::kMetadataTableEntryCount},
      {"entry_count_65535",
       {},
       [](PluginImage& i) { i.PutInMetadataRegion(metadata_field::kEntryCount, 65535); },
       "Entry count is: 65535 Entry count should be 6.",
       Check::kMetadataTableEntryCount},
      {"entry_count_before_plugin_item",
       {},
       [](PluginImage& i) {
         i.PutInMetadataRegion(metadata_field::kEntryCount, 7);
         i.PutInMetadataRegion(MetadataEntry(kPluginItem, metadata_entry_field::kItemId), Guid{});
       },
       "Entry count is: 7 Entry count should be 6.",
       Check::kMetadataTableEntryCount},
      {"plugin_item_missing",
       {},
       [](PluginImage& i) {
         i.PutInMetadataRegion(MetadataEntry(kPluginItem, metadata_entry_field::kItemId), kSomeOtherGuid);
       },
       "Not a Tolvenar VHDX - the plugin metadata is missing.",
       Check::kPluginMetadataMissing},
      {"plugin_item_guid_last_byte_off",
       {},
       [](PluginImage& i) {
         Guid guid = kPluginMetadataGuid;
         guid.bytes[15] ^= 0x01;
         i.PutInMetadataRegion(MetadataEntry(kPluginItem, metadata_entry_field::kItemId), guid);
       },
       "Not a Tolvenar VHDX - the plugin metadata is missing.",
       Check::kPluginMetadataMissing},
      {"plugin_item_in_the_fifth_entry",
       {},
       [](PluginImage& i) { SwapMetadataEntries(i, kPage83DataItem, kPluginItem); },
       "Not a Tolvenar VHDX - the plugin metadata is missing.",
       Check::kPluginMetadataMissing},
      {"plugin_item_in_the_first_entry",
       {},
       [](PluginImage& i) { SwapMetadataEntries(i, kFileParametersItem, kPluginItem); },
       "Not a Tolvenar VHDX - the plugin metadata is missing.",
       Check::kPluginMetadataMissing},
      {"plugin_item_check_before_block_size",
       {},
       [](PluginImage& i) {
         i.PutInMetadataRegion(MetadataEntry(kPluginItem, metadata_entry_field::kItemId), Guid{});
         i.PutInMetadataItem(kFileParametersItem, file_parameters_field::kBlockSize, 1 * kMiB);
       },
       "Not a Tolvenar VHDX - the plugin metadata is missing.",
       Check::kPluginMetadataMissing},
      // Items are taken by position: with the Virtual Disk Size item first,
      // its low 32 bits (1 GiB) are taken as the block size.
      {"virtual_disk_size_item_listed_first",
       {},
       [](PluginImage& i) { SwapMetadataEntries(i, kFileParametersItem, kVirtualDiskSizeItem); },
       "BlockSize is: 1073741824 BlockSize should be 33554432",
       Check::kBlockSize},
      {"block_size_1_MiB",
       {},
       [](PluginImage& i) { i.PutInMetadataItem(kFileParametersItem, file_parameters_field::kBlockSize, 1 * kMiB); },
       "BlockSize is: 1048576 BlockSize should be 33554432",
       Check::kBlockSize},
      {"block_size_0",
       {},
       [](PluginImage& i) { i.PutInMetadataItem(kFileParametersItem, file_parameters_field::kBlockSize, 0); },
       "BlockSize is: 0 BlockSize should be 33554432",
       Check::kBlockSize},
      {"block_size_4294967295",
       {},
       [](PluginImage& i) { i.PutInMetadataItem(kFileParametersItem, file_parameters_field::kBlockSize, 4294967295u); },
       "BlockSize is: 4294967295 BlockSize should be 33554432",
       Check::kBlockSize},
      {"block_size_before_plugin_item_length",
       {},
       [](PluginImage& i) {
         i.PutInMetadataItem(kFileParametersItem, file_parameters_field::kBlockSize, 64 * kMiB);
         i.PutInMetadataRegion(MetadataEntry(kPluginItem, metadata_entry_field::kLength), 0x1401);
       },
       "BlockSize is: 67108864 BlockSize should be 33554432",
       Check::kBlockSize},
      {"plugin_item_length_one_more",
       {},
       [](PluginImage& i) { i.PutInMetadataRegion(MetadataEntry(kPluginItem, metadata_entry_field::kLength), 0x1401); },
       "table_PLUGIN_VHDX_METADATA->Length is: 5121 PLUGIN_VHDX_METADATA->cbTotalMetaData 5120",
       Check::kPluginLength},
      {"cbTotalMetaData_larger_than_the_item_length",
       {},
       [](PluginImage& i) { i.PutInPluginItem(plugin_field::kTotalMetaData, 0x1600); },
       "table_PLUGIN_VHDX_METADATA->Length is: 5120 PLUGIN_VHDX_METADATA->cbTotalMetaData 5632",
       Check::kPluginLength},
      {"plugin_item_length_before_nMbrGptSize",
       {},
       [](PluginImage& i) {
         i.PutInMetadataRegion(MetadataEntry(kPluginItem, metadata_entry_field::kLength), 0);
         i.PutInPluginItem(plugin_field::kMbrGptSize, 0);
       },
       "table_PLUGIN_VHDX_METADATA->Length is: 0 PLUGIN_VHDX_METADATA->cbTotalMetaData 5120",
       Check::kPluginLength},
      {"nMbrGptSize_0",
       {},
       [](PluginImage& i) { i.PutInPluginItem(plugin_field::kMbrGptSize, 0); },
       "table_PLUGIN_VHDX_METADATA->nMbrGptSize is: 0",
       Check::kPluginMbrGptSizeZero},
      {"nMbrGptSize_before_trailer_offset",
       {},
       [](PluginImage& i) {
         i.PutInPluginItem(plugin_field::kMbrGptSize, 0);
         i.PutInPluginItem(plugin_field::kGptTrailerLength, 0x4200);
       },
       "table_PLUGIN_VHDX_METADATA->nMbrGptSize is: 0",
       Check::kPluginMbrGptSizeZero},
      {"trailer_length_without_trailer_offset",
       {},
       [](PluginImage& i) { i.PutInPluginItem(plugin_field::kGptTrailerLength, 0x4200); },
       "table_PLUGIN_VHDX_METADATA->nGptTrailerDiskOffset is: 0",
       Check::kPluginTrailerOffsetZero},
      {"negative_trailer_length_without_trailer_offset",
       {},
       [](PluginImage& i) { i.PutInPluginItem(plugin_field::kGptTrailerLength, std::int64_t{-1}); },
       "table_PLUGIN_VHDX_METADATA->nGptTrailerDiskOffset is: 0",
       Check::kPluginTrailerOffsetZero},
      {"trailer_offset_before_volume_records",
       {},
       [](PluginImage& i) {
         i.PutInPluginItem(plugin_field::kGptTrailerLength, 0x4200);
         i.PutInVolume(0, volume_field::kMySize, 511);
       },
       "table_PLUGIN_VHDX_METADATA->nGptTrailerDiskOffset is: 0",
       Check::kPluginTrailerOffsetZero},
      {"first_volume_MySize_one_less",
       {},
       [](PluginImage& i) { i.PutInVolume(0, volume_field::kMySize, 511); },
       "pTwbMetaData->MySize is: 511 entry_PLUGIN_VHDX_METADATA->MetaData[ i ].cbSize is 512",
       Check::kVolumeSize},
      {"second_volume_MySize_larger",
       {},
       [](PluginImage& i) { i.PutInVolume(1, volume_field::kMySize, 1024); },
       "pTwbMetaData->MySize is: 1024 entry_PLUGIN_VHDX_METADATA->MetaData[ i ].cbSize is 512",
       Check::kVolumeSize},
      // The totals would match: cbSize and cbTotalMetaData agree, only the
      // record's own size differs.
      {"MySize_checked_even_when_the_totals_match",
       {},
       [](PluginImage& i) {
         i.PutInPluginItem(PluginEntry(0, plugin_entry_field::kSize), 511);
         i.PutInPluginItem(plugin_field::kTotalMetaData, 0x13FF);
         i.PutInMetadataRegion(MetadataEntry(kPluginItem, metadata_entry_field::kLength), 0x13FF);
       },
       "pTwbMetaData->MySize is: 512 entry_PLUGIN_VHDX_METADATA->MetaData[ i ].cbSize is 511",
       Check::kVolumeSize},
      {"MySize_before_the_total",
       {},
       [](PluginImage& i) {
         i.PutInVolume(1, volume_field::kMySize, 0);
         i.PutInPluginItem(plugin_field::kTotalMetaData, 0x1600);
         i.PutInMetadataRegion(MetadataEntry(kPluginItem, metadata_entry_field::kLength), 0x1600);
       },
       "pTwbMetaData->MySize is: 0 entry_PLUGIN_VHDX_METADATA->MetaData[ i ].cbSize is 512",
       Check::kVolumeSize},
      {"sixteenth_volume_MySize",
       [](ImageDescription& d) {
         d.volumes.assign(16, Volume{512, 16 * kMiB, 0, 0, u"G:\\v.twb"});
       },
       [](PluginImage& i) { i.PutInVolume(15, volume_field::kMySize, 513); },
       "pTwbMetaData->MySize is: 513 entry_PLUGIN_VHDX_METADATA->MetaData[ i ].cbSize is 512", Check::kVolumeSize},
      {"total_larger_than_the_volumes",
       {},
       [](PluginImage& i) {
         i.PutInPluginItem(plugin_field::kTotalMetaData, 0x1600);
         i.PutInMetadataRegion(MetadataEntry(kPluginItem, metadata_entry_field::kLength), 0x1600);
       },
       "table_PLUGIN_VHDX_METADATA->Length is: 5632 TotalPluginMetadataSize 5120",
       Check::kPluginTotalSize},
      // A zero cbSize ends the list: what follows it is not counted.
      {"walk_stops_at_the_first_zero_cbSize",
       {},
       [](PluginImage& i) { i.PutInPluginItem(PluginEntry(1, plugin_entry_field::kSize), 0); },
       "table_PLUGIN_VHDX_METADATA->Length is: 5120 TotalPluginMetadataSize 4608",
       Check::kPluginTotalSize},
      {"walk_stops_at_a_zero_first_cbSize",
       {},
       [](PluginImage& i) { i.PutInPluginItem(PluginEntry(0, plugin_entry_field::kSize), 0); },
       "table_PLUGIN_VHDX_METADATA->Length is: 5120 TotalPluginMetadataSize 4096",
       Check::kPluginTotalSize},
      {"no_volumes_with_a_larger_total", [](ImageDescription& d) { d.volumes.clear(); },
       [](PluginImage& i) {
         i.PutInPluginItem(plugin_field::kTotalMetaData, 0x1200);
         i.PutInMetadataRegion(MetadataEntry(kPluginItem, metadata_entry_field::kLength), 0x1200);
       },
       "table_PLUGIN_VHDX_METADATA->Length is: 4608 TotalPluginMetadataSize 4096", Check::kPluginTotalSize},
      // 4096 + 0xFFFFF000 wraps to 0 in 32 bits.
      {"total_wraps_in_32_bits",
       {},
       [](PluginImage& i) {
         i.PutInPluginItem(PluginEntry(1, plugin_entry_field::kSize), 0xFFFFEE00u);
         i.PutInVolume(1, volume_field::kMySize, 0xFFFFEE00u);
       },
       "table_PLUGIN_VHDX_METADATA->Length is: 5120 TotalPluginMetadataSize 0",
       Check::kPluginTotalSize},
  };
}

INSTANTIATE_TEST_SUITE_P(Container, MetadataCheck, testing::ValuesIn(MetadataCases()), NameOf);

// Offsets taken from the metadata region that would reach past the 2 MiB
// the tool reads of it. The highest accepted offsets are in
// ItemsAtTheEndOfTheBufferAreRead below.
std::vector<FailureCase> MetadataBoundsCases() {
  const auto itemOffset = [](int entry, std::uint32_t offset) {
    return [entry, offset](PluginImage& i) {
      i.PutInMetadataRegion(MetadataEntry(entry, metadata_entry_field::kOffset), offset);
    };
  };
  const auto volumeOffset = [](int volume, std::uint32_t offset) {
    return [volume, offset](PluginImage& i) {
      i.PutInPluginItem(PluginEntry(volume, plugin_entry_field::kMetaDataOffset), offset);
    };
  };
  // A volume record whose 66 fixed bytes end `tail` bytes before the end of
  // the buffer, with MySize 512 and `tail` bytes of text without a zero unit.
  const auto recordNearTheEnd = [](std::uint64_t tail, std::uint32_t mySize) {
    return [tail, mySize](PluginImage& i) {
      const std::uint64_t record = kMetadataBufferSize - 66 - tail;
      i.PutInPluginItem(PluginEntry(0, plugin_entry_field::kMetaDataOffset),
                        static_cast<std::uint32_t>(record - kPluginItemOffset));
      PutInRegion(i, record, volume_field::kMySize, mySize);
      i.PutBytes(i.layout().metadataRegion + record + 66, Bytes(std::string(tail, 'A')));
    };
  };
  return {
      {"file_parameters_one_past",
       {},
       itemOffset(kFileParametersItem, 2097149),
       "table_FILE_PARAMETERS->Offset is: 2097149 Offset should be at most 2097148",
       Check::kFileParametersOffset},
      {"file_parameters_wraps_32_bits",
       {},
       itemOffset(kFileParametersItem, 0xFFFFFFFF),
       "table_FILE_PARAMETERS->Offset is: 4294967295 Offset should be at most 2097148",
       Check::kFileParametersOffset},
      {"file_parameters_after_the_plugin_item_check",
       {},
       [itemOffset](PluginImage& i) {
         itemOffset(kFileParametersItem, 0xFFFFFFFF)(i);
         i.PutInMetadataRegion(MetadataEntry(kPluginItem, metadata_entry_field::kItemId), Guid{});
       },
       "Not a Tolvenar VHDX - the plugin metadata is missing.",
       Check::kPluginMetadataMissing},
      {"virtual_disk_size_one_past",
       {},
       itemOffset(kVirtualDiskSizeItem, 2097145),
       "table_VIRTUAL_DISK_SIZE->Offset is: 2097145 Offset should be at most 2097144",
       Check::kVirtualDiskSizeOffset},
      {"virtual_disk_size_wraps_32_bits",
       {},
       itemOffset(kVirtualDiskSizeItem, 0xFFFFFFF8),
       "table_VIRTUAL_DISK_SIZE->Offset is: 4294967288 Offset should be at most 2097144",
       Check::kVirtualDiskSizeOffset},
      {"virtual_disk_size_after_the_block_size_check",
       {},
       [itemOffset](PluginImage& i) {
         itemOffset(kVirtualDiskSizeItem, 2097145)(i);
         i.PutInMetadataItem(kFileParametersItem, file_parameters_field::kBlockSize, 1 * kMiB);
       },
       "BlockSize is: 1048576 BlockSize should be 33554432",
       Check::kBlockSize},
      {"logical_sector_size_one_past",
       {},
       itemOffset(kLogicalSectorSizeItem, 2097149),
       "table_LOGICAL_SECTOR_SIZE->Offset is: 2097149 Offset should be at most 2097148",
       Check::kLogicalSectorSizeOffset},
      {"logical_sector_size_wraps_32_bits",
       {},
       itemOffset(kLogicalSectorSizeItem, 0xFFFFFFFE),
       "table_LOGICAL_SECTOR_SIZE->Offset is: 4294967294 Offset should be at most 2097148",
       Check::kLogicalSectorSizeOffset},
      {"physical_sector_size_one_past",
       {},
       itemOffset(kPhysicalSectorSizeItem, 2097149),
       "table_PHYSICAL_SECTOR_SIZE->Offset is: 2097149 Offset should be at most 2097148",
       Check::kPhysicalSectorSizeOffset},
      {"physical_sector_size_wraps_32_bits",
       {},
       itemOffset(kPhysicalSectorSizeItem, 0xFFFFFFFC),
       "table_PHYSICAL_SECTOR_SIZE->Offset is: 4294967292 Offset should be at most 2097148",
       Check::kPhysicalSectorSizeOffset},
      {"plugin_item_one_past",
       {},
       itemOffset(kPluginItem, 2096977),
       "table_PLUGIN_VHDX_METADATA->Offset is: 2096977 Offset should be at most 2096976",
       Check::kPluginMetadataOffset},
      {"plugin_item_wraps_32_bits",
       {},
       itemOffset(kPluginItem, 0xFFFFFFB0),
       "table_PLUGIN_VHDX_METADATA->Offset is: 4294967216 Offset should be at most 2096976",
       Check::kPluginMetadataOffset},
      {"volume_record_one_past",
       {},
       volumeOffset(0, 1966015),
       "entry_PLUGIN_VHDX_METADATA->MetaData[ i ].cbMetaDataOffset is: 1966015 Offset should be at most 1966014",
       Check::kVolumeOffset},
      {"volume_record_far_past",
       {},
       volumeOffset(0, 0xFFFFFFFF),
       "entry_PLUGIN_VHDX_METADATA->MetaData[ i ].cbMetaDataOffset is: 4294967295 Offset should be at most 1966014",
       Check::kVolumeOffset},
      {"second_volume_record_past",
       {},
       volumeOffset(1, 0x80000000),
       "entry_PLUGIN_VHDX_METADATA->MetaData[ i ].cbMetaDataOffset is: 2147483648 Offset should be at most 1966014",
       Check::kVolumeOffset},
      {"first_volume_fails_before_the_second_is_located",
       {},
       [volumeOffset](PluginImage& i) {
         i.PutInVolume(0, volume_field::kMySize, 7);
         volumeOffset(1, 1966015)(i);
       },
       "pTwbMetaData->MySize is: 7 entry_PLUGIN_VHDX_METADATA->MetaData[ i ].cbSize is 512",
       Check::kVolumeSize},
      {"volume_record_in_the_last_66_bytes",
       {},
       recordNearTheEnd(0, 512),
       "pTwbMetaData->ImageFileList is not terminated inside the metadata region.",
       Check::kVolumeImageFileList},
      {"volume_record_in_the_last_66_bytes_with_a_wrong_MySize",
       {},
       recordNearTheEnd(0, 0),
       "pTwbMetaData->MySize is: 0 entry_PLUGIN_VHDX_METADATA->MetaData[ i ].cbSize is 512",
       Check::kVolumeSize},
      {"image_file_list_runs_to_the_end",
       {},
       recordNearTheEnd(40, 512),
       "pTwbMetaData->ImageFileList is not terminated inside the metadata region.",
       Check::kVolumeImageFileList},
      {"image_file_list_before_the_total",
       {},
       [recordNearTheEnd](PluginImage& i) {
         recordNearTheEnd(2, 512)(i);
         i.PutInPluginItem(plugin_field::kTotalMetaData, 0x1600);
         i.PutInMetadataRegion(MetadataEntry(kPluginItem, metadata_entry_field::kLength), 0x1600);
       },
       "pTwbMetaData->ImageFileList is not terminated inside the metadata region.",
       Check::kVolumeImageFileList},
  };
}

INSTANTIATE_TEST_SUITE_P(Container, MetadataBoundsCheck, testing::ValuesIn(MetadataBoundsCases()), NameOf);

}  // namespace
}  // namespace inspect_test
