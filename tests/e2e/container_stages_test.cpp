// The two container stages, run through the built tool: every check of the
// header section and of the metadata region, each reached by an image damaged
// in one named way, in the order the checks run. A failed check prints its
// one line and the "Exception occurred: " line; an image the stages accept
// gets its whole container report.
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "expected_text.h"
#include "run_tool.h"
#include "testsupport/image_holder.h"
#include "testsupport/plugin_image.h"

namespace e2e {
namespace {

using namespace testsupport;

// Region offsets of the metadata items as they lie in a built image.
constexpr std::uint32_t kPluginItemOffset = 0x20000;
// The tool reads this much of the metadata region.
constexpr std::uint64_t kMetadataBufferSize = 2097152;

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

// Makes the stored header checksum wrong without touching anything else.
void BreakHeaderChecksum(PluginImage& image, int header) {
  const std::uint64_t at = image.layout().header(header);
  image.Put(at, header_field::kChecksum, image.Get(at, header_field::kChecksum) ^ 0x1);
}

// Changes one covered byte of a region table copy, leaving its checksum stale.
void BreakRegionTable(PluginImage& image, int copy) { image.Put8(image.layout().regionTable(copy) + 1000, 0x5A); }

// Writes `bytes` of `value` into the metadata region at region offset `offset`.
void PutInRegion(PluginImage& image, std::uint64_t offset, Field field, const FieldValue& value) {
  image.Put(image.layout().metadataRegion + offset, field, value);
}

std::string Utf16Bytes(std::u16string_view text) {
  std::string bytes;
  for (const char16_t unit : text) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  }
  return bytes;
}

std::vector<std::byte> Bytes(const std::string& text) {
  std::vector<std::byte> bytes;
  for (const char c : text) bytes.push_back(static_cast<std::byte>(c));
  return bytes;
}

// ---------------------------------------------------------------------------
// Failed checks: one image, one fault, one line.

struct FailureCase {
  std::string name;
  std::function<void(ImageDescription&)> describe;  // the sample without a trailer when empty
  std::function<void(PluginImage&)> damage;
  std::string line;
};

std::ostream& operator<<(std::ostream& out, const FailureCase& c) { return out << c.name; }

std::string NameOf(const testing::TestParamInfo<FailureCase>& info) { return info.param.name; }

ToolRun InspectImage(const FailureCase& c, const ScratchDirectory& scratch, std::string& path) {
  ImageDescription d = WithoutTrailer();
  if (c.describe) c.describe(d);
  PluginImage image = PluginImage::Build(d);
  if (c.damage) c.damage(image);
  path = scratch / (c.name + ".vhdx");
  image.WriteTo(path);
  return RunTool({"-f", path});
}

class HeaderSectionCheck : public testing::TestWithParam<FailureCase> {};
class MetadataCheck : public testing::TestWithParam<FailureCase> {};
class MetadataBoundsCheck : public testing::TestWithParam<FailureCase> {};

void ExpectFailure(const FailureCase& c) {
  ScratchDirectory scratch;
  std::string path;
  const ToolRun run = InspectImage(c, scratch, path);
  EXPECT_EQ(run.out, Corrupt(c.line));
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
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
       "Not a VHDX signature."},
      {"signature_in_upper_case",
       {},
       [](PluginImage& i) { i.PutInFileIdentifier(file_identifier_field::kSignature, "VHDXFILE"); },
       "Not a VHDX signature."},
      {"alternative_signature_in_upper_case",
       {},
       [](PluginImage& i) { i.PutInFileIdentifier(file_identifier_field::kSignature, "VHDX.TWB"); },
       "Not a VHDX signature."},
      {"signature_and_creator_both_wrong", [](ImageDescription& d) { d.creator = u"Someone Else"; },
       [](PluginImage& i) { i.PutInFileIdentifier(file_identifier_field::kSignature, "head"); },
       "Not a VHDX signature."},
      {"creator_of_another_maker",
       [](ImageDescription& d) { d.creator = u"Someone Else 1.0"; },
       {},
       "VHDX not created by Tallowbridge."},
      {"creator_of_another_version",
       [](ImageDescription& d) { d.creator = u"Tallowbridge Technology Corporation 1.1"; },
       {},
       "VHDX not created by Tallowbridge."},
      {"creator_continues_without_terminator",
       [](ImageDescription& d) { d.creator = u"Tallowbridge Technology Corporation 1.0b"; },
       {},
       "VHDX not created by Tallowbridge."},
      {"creator_cut_short",
       [](ImageDescription& d) { d.creator = u"Tallowbridge Technology Corporation 1."; },
       {},
       "VHDX not created by Tallowbridge."},
      {"creator_in_ascii",
       {},
       [](PluginImage& i) {
         i.PutInFileIdentifier(file_identifier_field::kCreator, std::string_view(kRequiredCreator));
       },
       "VHDX not created by Tallowbridge."},
      {"creator_empty", [](ImageDescription& d) { d.creator = u""; }, {}, "VHDX not created by Tallowbridge."},
      {"current_header_signature",
       {},
       [](PluginImage& i) { i.PutInHeader(2, header_field::kSignature, "hexd"); },
       "Not a valid header."},
      {"current_header_signature_and_checksum",
       {},
       [](PluginImage& i) { i.Put(i.layout().header(2), header_field::kSignature, "hexd"); },
       "Not a valid header."},
      {"current_header_checksum_while_the_other_is_intact",
       {},
       [](PluginImage& i) { BreakHeaderChecksum(i, 2); },
       "Not a valid header CRC."},
      {"current_header_last_covered_byte",
       {},
       [](PluginImage& i) { i.Put8(i.layout().header(2) + 4095, 0x01); },
       "Not a valid header CRC."},
      {"header1_greater_with_a_wrong_checksum",
       [](ImageDescription& d) {
         d.header1SequenceNumber = 3;
         d.header2SequenceNumber = 2;
       },
       [](PluginImage& i) { BreakHeaderChecksum(i, 1); }, "Not a valid header CRC."},
      {"header1_greater_with_a_wrong_signature",
       [](ImageDescription& d) {
         d.header1SequenceNumber = 3;
         d.header2SequenceNumber = 2;
       },
       [](PluginImage& i) { i.PutInHeader(1, header_field::kSignature, "HEAD"); }, "Not a valid header."},
      {"equal_sequence_numbers_choose_header2",
       [](ImageDescription& d) {
         d.header1SequenceNumber = 5;
         d.header2SequenceNumber = 5;
       },
       [](PluginImage& i) { BreakHeaderChecksum(i, 2); }, "Not a valid header CRC."},
      {"sequence_numbers_compared_unsigned",
       [](ImageDescription& d) {
         d.header1SequenceNumber = 0x8000000000000000;
         d.header2SequenceNumber = 1;
       },
       [](PluginImage& i) { BreakHeaderChecksum(i, 1); }, "Not a valid header CRC."},
      {"header_signature_before_region_table",
       {},
       [](PluginImage& i) {
         i.PutInHeader(2, header_field::kSignature, "hexd");
         BreakRegionTable(i, 1);
         BreakRegionTable(i, 2);
       },
       "Not a valid header."},
      {"both_region_table_copies_damaged",
       {},
       [](PluginImage& i) {
         BreakRegionTable(i, 1);
         BreakRegionTable(i, 2);
       },
       "Not a valid region CRC."},
      {"both_region_table_checksums_wrong",
       {},
       [](PluginImage& i) {
         for (int copy = 1; copy <= 2; ++copy) {
           const std::uint64_t at = i.layout().regionTable(copy);
           i.Put(at, region_field::kChecksum, i.Get(at, region_field::kChecksum) ^ 0x80000000u);
         }
       },
       "Not a valid region CRC."},
      {"region_signature_of_second_copy_while_first_is_intact",
       {},
       [](PluginImage& i) { i.PutInRegionTable(2, region_field::kSignature, "regx"); },
       "Not a valid region."},
      {"region_signature_of_first_copy_when_second_is_damaged",
       {},
       [](PluginImage& i) {
         BreakRegionTable(i, 2);
         i.PutInRegionTable(1, region_field::kSignature, "REGI");
       },
       "Not a valid region."},
      {"region_signature_before_entry_count",
       {},
       [](PluginImage& i) {
         i.PutInRegionTables(region_field::kSignature, "ireg");
         i.PutInRegionTables(region_field::kEntryCount, 3);
       },
       "Not a valid region."},
      {"region_entry_count_3",
       {},
       [](PluginImage& i) { i.PutInRegionTables(region_field::kEntryCount, 3); },
       "Entry count is: 3 Entry count should be 2."},
      {"region_entry_count_0",
       {},
       [](PluginImage& i) { i.PutInRegionTables(region_field::kEntryCount, 0); },
       "Entry count is: 0 Entry count should be 2."},
      {"region_entry_count_taken_from_first_copy_when_second_is_damaged",
       {},
       [](PluginImage& i) {
         BreakRegionTable(i, 2);
         i.PutInRegionTable(1, region_field::kEntryCount, 4294967295u);
       },
       "Entry count is: 4294967295 Entry count should be 2."},
      {"region_entry_count_taken_from_second_copy_when_both_are_intact",
       {},
       [](PluginImage& i) {
         i.PutInRegionTable(1, region_field::kEntryCount, 7);
         i.PutInRegionTable(2, region_field::kEntryCount, 12);
       },
       "Entry count is: 12 Entry count should be 2."},
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
       "Bad BAT GUID."},
      {"bat_guid_zero",
       {},
       [](PluginImage& i) { i.PutInRegionTables(RegionEntry(0, region_entry_field::kGuid), Guid{}); },
       "Bad BAT GUID."},
      {"bat_guid_before_metadata_guid",
       {},
       [](PluginImage& i) {
         i.PutInRegionTables(RegionEntry(0, region_entry_field::kGuid), kFileParametersGuid);
         i.PutInRegionTables(RegionEntry(1, region_entry_field::kGuid), kFileParametersGuid);
       },
       "Bad BAT GUID."},
      {"metadata_guid_of_the_bat",
       {},
       [](PluginImage& i) { i.PutInRegionTables(RegionEntry(1, region_entry_field::kGuid), kBatRegionGuid); },
       "Bad Metadata GUID."},
      {"metadata_guid_last_byte_off",
       {},
       [](PluginImage& i) {
         Guid guid = kMetadataRegionGuid;
         guid.bytes[15] ^= 0x80;
         i.PutInRegionTables(RegionEntry(1, region_entry_field::kGuid), guid);
       },
       "Bad Metadata GUID."},
  };
}

INSTANTIATE_TEST_SUITE_P(Container, HeaderSectionCheck, testing::ValuesIn(HeaderSectionCases()), NameOf);

const Guid kSomeOtherGuid = GuidFromString("0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0");

// Stage 2, in check order.
std::vector<FailureCase> MetadataCases() {
  return {
      {"table_signature",
       {},
       [](PluginImage& i) { i.PutInMetadataRegion(metadata_field::kSignature, "metadatx"); },
       "Not a valid metadata table header."},
      {"table_signature_before_entry_count",
       {},
       [](PluginImage& i) {
         i.PutInMetadataRegion(metadata_field::kSignature, "METADATA");
         i.PutInMetadataRegion(metadata_field::kEntryCount, 5);
       },
       "Not a valid metadata table header."},
      {"entry_count_5",
       {},
       [](PluginImage& i) { i.PutInMetadataRegion(metadata_field::kEntryCount, 5); },
       "Entry count is: 5 Entry count should be 6."},
      {"entry_count_7",
       {},
       [](PluginImage& i) { i.PutInMetadataRegion(metadata_field::kEntryCount, 7); },
       "Entry count is: 7 Entry count should be 6."},
      {"entry_count_65535",
       {},
       [](PluginImage& i) { i.PutInMetadataRegion(metadata_field::kEntryCount, 65535); },
       "Entry count is: 65535 Entry count should be 6."},
      {"entry_count_before_plugin_item",
       {},
       [](PluginImage& i) {
         i.PutInMetadataRegion(metadata_field::kEntryCount, 7);
         i.PutInMetadataRegion(MetadataEntry(kPluginItem, metadata_entry_field::kItemId), Guid{});
       },
       "Entry count is: 7 Entry count should be 6."},
      {"plugin_item_missing",
       {},
       [](PluginImage& i) {
         i.PutInMetadataRegion(MetadataEntry(kPluginItem, metadata_entry_field::kItemId), kSomeOtherGuid);
       },
       "Not a Tolvenar VHDX - the plugin metadata is missing."},
      {"plugin_item_guid_last_byte_off",
       {},
       [](PluginImage& i) {
         Guid guid = kPluginMetadataGuid;
         guid.bytes[15] ^= 0x01;
         i.PutInMetadataRegion(MetadataEntry(kPluginItem, metadata_entry_field::kItemId), guid);
       },
       "Not a Tolvenar VHDX - the plugin metadata is missing."},
      {"plugin_item_in_the_fifth_entry",
       {},
       [](PluginImage& i) { SwapMetadataEntries(i, kPage83DataItem, kPluginItem); },
       "Not a Tolvenar VHDX - the plugin metadata is missing."},
      {"plugin_item_in_the_first_entry",
       {},
       [](PluginImage& i) { SwapMetadataEntries(i, kFileParametersItem, kPluginItem); },
       "Not a Tolvenar VHDX - the plugin metadata is missing."},
      {"plugin_item_check_before_block_size",
       {},
       [](PluginImage& i) {
         i.PutInMetadataRegion(MetadataEntry(kPluginItem, metadata_entry_field::kItemId), Guid{});
         i.PutInMetadataItem(kFileParametersItem, file_parameters_field::kBlockSize, 1 * kMiB);
       },
       "Not a Tolvenar VHDX - the plugin metadata is missing."},
      // Items are taken by position: with the Virtual Disk Size item first,
      // its low 32 bits (1 GiB) are taken as the block size.
      {"virtual_disk_size_item_listed_first",
       {},
       [](PluginImage& i) { SwapMetadataEntries(i, kFileParametersItem, kVirtualDiskSizeItem); },
       "BlockSize is: 1073741824 BlockSize should be 33554432"},
      {"block_size_1_MiB",
       {},
       [](PluginImage& i) { i.PutInMetadataItem(kFileParametersItem, file_parameters_field::kBlockSize, 1 * kMiB); },
       "BlockSize is: 1048576 BlockSize should be 33554432"},
      {"block_size_0",
       {},
       [](PluginImage& i) { i.PutInMetadataItem(kFileParametersItem, file_parameters_field::kBlockSize, 0); },
       "BlockSize is: 0 BlockSize should be 33554432"},
      {"block_size_4294967295",
       {},
       [](PluginImage& i) { i.PutInMetadataItem(kFileParametersItem, file_parameters_field::kBlockSize, 4294967295u); },
       "BlockSize is: 4294967295 BlockSize should be 33554432"},
      {"block_size_before_plugin_item_length",
       {},
       [](PluginImage& i) {
         i.PutInMetadataItem(kFileParametersItem, file_parameters_field::kBlockSize, 64 * kMiB);
         i.PutInMetadataRegion(MetadataEntry(kPluginItem, metadata_entry_field::kLength), 0x1401);
       },
       "BlockSize is: 67108864 BlockSize should be 33554432"},
      {"plugin_item_length_one_more",
       {},
       [](PluginImage& i) { i.PutInMetadataRegion(MetadataEntry(kPluginItem, metadata_entry_field::kLength), 0x1401); },
       "table_PLUGIN_VHDX_METADATA->Length is: 5121 PLUGIN_VHDX_METADATA->cbTotalMetaData 5120"},
      {"cbTotalMetaData_larger_than_the_item_length",
       {},
       [](PluginImage& i) { i.PutInPluginItem(plugin_field::kTotalMetaData, 0x1600); },
       "table_PLUGIN_VHDX_METADATA->Length is: 5120 PLUGIN_VHDX_METADATA->cbTotalMetaData 5632"},
      {"plugin_item_length_before_nMbrGptSize",
       {},
       [](PluginImage& i) {
         i.PutInMetadataRegion(MetadataEntry(kPluginItem, metadata_entry_field::kLength), 0);
         i.PutInPluginItem(plugin_field::kMbrGptSize, 0);
       },
       "table_PLUGIN_VHDX_METADATA->Length is: 0 PLUGIN_VHDX_METADATA->cbTotalMetaData 5120"},
      {"nMbrGptSize_0",
       {},
       [](PluginImage& i) { i.PutInPluginItem(plugin_field::kMbrGptSize, 0); },
       "table_PLUGIN_VHDX_METADATA->nMbrGptSize is: 0"},
      {"nMbrGptSize_before_trailer_offset",
       {},
       [](PluginImage& i) {
         i.PutInPluginItem(plugin_field::kMbrGptSize, 0);
         i.PutInPluginItem(plugin_field::kGptTrailerLength, 0x4200);
       },
       "table_PLUGIN_VHDX_METADATA->nMbrGptSize is: 0"},
      {"trailer_length_without_trailer_offset",
       {},
       [](PluginImage& i) { i.PutInPluginItem(plugin_field::kGptTrailerLength, 0x4200); },
       "table_PLUGIN_VHDX_METADATA->nGptTrailerDiskOffset is: 0"},
      {"negative_trailer_length_without_trailer_offset",
       {},
       [](PluginImage& i) { i.PutInPluginItem(plugin_field::kGptTrailerLength, std::int64_t{-1}); },
       "table_PLUGIN_VHDX_METADATA->nGptTrailerDiskOffset is: 0"},
      {"trailer_offset_before_volume_records",
       {},
       [](PluginImage& i) {
         i.PutInPluginItem(plugin_field::kGptTrailerLength, 0x4200);
         i.PutInVolume(0, volume_field::kMySize, 511);
       },
       "table_PLUGIN_VHDX_METADATA->nGptTrailerDiskOffset is: 0"},
      {"first_volume_MySize_one_less",
       {},
       [](PluginImage& i) { i.PutInVolume(0, volume_field::kMySize, 511); },
       "pTwbMetaData->MySize is: 511 entry_PLUGIN_VHDX_METADATA->MetaData[ i ].cbSize is 512"},
      {"second_volume_MySize_larger",
       {},
       [](PluginImage& i) { i.PutInVolume(1, volume_field::kMySize, 1024); },
       "pTwbMetaData->MySize is: 1024 entry_PLUGIN_VHDX_METADATA->MetaData[ i ].cbSize is 512"},
      // The totals would match: cbSize and cbTotalMetaData agree, only the
      // record's own size differs.
      {"MySize_checked_even_when_the_totals_match",
       {},
       [](PluginImage& i) {
         i.PutInPluginItem(PluginEntry(0, plugin_entry_field::kSize), 511);
         i.PutInPluginItem(plugin_field::kTotalMetaData, 0x13FF);
         i.PutInMetadataRegion(MetadataEntry(kPluginItem, metadata_entry_field::kLength), 0x13FF);
       },
       "pTwbMetaData->MySize is: 512 entry_PLUGIN_VHDX_METADATA->MetaData[ i ].cbSize is 511"},
      {"MySize_before_the_total",
       {},
       [](PluginImage& i) {
         i.PutInVolume(1, volume_field::kMySize, 0);
         i.PutInPluginItem(plugin_field::kTotalMetaData, 0x1600);
         i.PutInMetadataRegion(MetadataEntry(kPluginItem, metadata_entry_field::kLength), 0x1600);
       },
       "pTwbMetaData->MySize is: 0 entry_PLUGIN_VHDX_METADATA->MetaData[ i ].cbSize is 512"},
      {"sixteenth_volume_MySize",
       [](ImageDescription& d) {
         d.volumes.assign(16, Volume{512, 16 * kMiB, 0, 0, u"G:\\v.twb"});
       },
       [](PluginImage& i) { i.PutInVolume(15, volume_field::kMySize, 513); },
       "pTwbMetaData->MySize is: 513 entry_PLUGIN_VHDX_METADATA->MetaData[ i ].cbSize is 512"},
      {"total_larger_than_the_volumes",
       {},
       [](PluginImage& i) {
         i.PutInPluginItem(plugin_field::kTotalMetaData, 0x1600);
         i.PutInMetadataRegion(MetadataEntry(kPluginItem, metadata_entry_field::kLength), 0x1600);
       },
       "table_PLUGIN_VHDX_METADATA->Length is: 5632 TotalPluginMetadataSize 5120"},
      // A zero cbSize ends the list: what follows it is not counted.
      {"walk_stops_at_the_first_zero_cbSize",
       {},
       [](PluginImage& i) { i.PutInPluginItem(PluginEntry(1, plugin_entry_field::kSize), 0); },
       "table_PLUGIN_VHDX_METADATA->Length is: 5120 TotalPluginMetadataSize 4608"},
      {"walk_stops_at_a_zero_first_cbSize",
       {},
       [](PluginImage& i) { i.PutInPluginItem(PluginEntry(0, plugin_entry_field::kSize), 0); },
       "table_PLUGIN_VHDX_METADATA->Length is: 5120 TotalPluginMetadataSize 4096"},
      {"no_volumes_with_a_larger_total", [](ImageDescription& d) { d.volumes.clear(); },
       [](PluginImage& i) {
         i.PutInPluginItem(plugin_field::kTotalMetaData, 0x1200);
         i.PutInMetadataRegion(MetadataEntry(kPluginItem, metadata_entry_field::kLength), 0x1200);
       },
       "table_PLUGIN_VHDX_METADATA->Length is: 4608 TotalPluginMetadataSize 4096"},
      // 4096 + 0xFFFFF000 wraps to 0 in 32 bits.
      {"total_wraps_in_32_bits",
       {},
       [](PluginImage& i) {
         i.PutInPluginItem(PluginEntry(1, plugin_entry_field::kSize), 0xFFFFEE00u);
         i.PutInVolume(1, volume_field::kMySize, 0xFFFFEE00u);
       },
       "table_PLUGIN_VHDX_METADATA->Length is: 5120 TotalPluginMetadataSize 0"},
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
       "table_FILE_PARAMETERS->Offset is: 2097149 Offset should be at most 2097148"},
      {"file_parameters_wraps_32_bits",
       {},
       itemOffset(kFileParametersItem, 0xFFFFFFFF),
       "table_FILE_PARAMETERS->Offset is: 4294967295 Offset should be at most 2097148"},
      {"file_parameters_after_the_plugin_item_check",
       {},
       [itemOffset](PluginImage& i) {
         itemOffset(kFileParametersItem, 0xFFFFFFFF)(i);
         i.PutInMetadataRegion(MetadataEntry(kPluginItem, metadata_entry_field::kItemId), Guid{});
       },
       "Not a Tolvenar VHDX - the plugin metadata is missing."},
      {"virtual_disk_size_one_past",
       {},
       itemOffset(kVirtualDiskSizeItem, 2097145),
       "table_VIRTUAL_DISK_SIZE->Offset is: 2097145 Offset should be at most 2097144"},
      {"virtual_disk_size_wraps_32_bits",
       {},
       itemOffset(kVirtualDiskSizeItem, 0xFFFFFFF8),
       "table_VIRTUAL_DISK_SIZE->Offset is: 4294967288 Offset should be at most 2097144"},
      {"virtual_disk_size_after_the_block_size_check",
       {},
       [itemOffset](PluginImage& i) {
         itemOffset(kVirtualDiskSizeItem, 2097145)(i);
         i.PutInMetadataItem(kFileParametersItem, file_parameters_field::kBlockSize, 1 * kMiB);
       },
       "BlockSize is: 1048576 BlockSize should be 33554432"},
      {"logical_sector_size_one_past",
       {},
       itemOffset(kLogicalSectorSizeItem, 2097149),
       "table_LOGICAL_SECTOR_SIZE->Offset is: 2097149 Offset should be at most 2097148"},
      {"logical_sector_size_wraps_32_bits",
       {},
       itemOffset(kLogicalSectorSizeItem, 0xFFFFFFFE),
       "table_LOGICAL_SECTOR_SIZE->Offset is: 4294967294 Offset should be at most 2097148"},
      {"physical_sector_size_one_past",
       {},
       itemOffset(kPhysicalSectorSizeItem, 2097149),
       "table_PHYSICAL_SECTOR_SIZE->Offset is: 2097149 Offset should be at most 2097148"},
      {"physical_sector_size_wraps_32_bits",
       {},
       itemOffset(kPhysicalSectorSizeItem, 0xFFFFFFFC),
       "table_PHYSICAL_SECTOR_SIZE->Offset is: 4294967292 Offset should be at most 2097148"},
      {"plugin_item_one_past",
       {},
       itemOffset(kPluginItem, 2096977),
       "table_PLUGIN_VHDX_METADATA->Offset is: 2096977 Offset should be at most 2096976"},
      {"plugin_item_wraps_32_bits",
       {},
       itemOffset(kPluginItem, 0xFFFFFFB0),
       "table_PLUGIN_VHDX_METADATA->Offset is: 4294967216 Offset should be at most 2096976"},
      {"volume_record_one_past",
       {},
       volumeOffset(0, 1966015),
       "entry_PLUGIN_VHDX_METADATA->MetaData[ i ].cbMetaDataOffset is: 1966015 Offset should be at most 1966014"},
      {"volume_record_far_past",
       {},
       volumeOffset(0, 0xFFFFFFFF),
       "entry_PLUGIN_VHDX_METADATA->MetaData[ i ].cbMetaDataOffset is: 4294967295 Offset should be at most 1966014"},
      {"second_volume_record_past",
       {},
       volumeOffset(1, 0x80000000),
       "entry_PLUGIN_VHDX_METADATA->MetaData[ i ].cbMetaDataOffset is: 2147483648 Offset should be at most 1966014"},
      {"first_volume_fails_before_the_second_is_located",
       {},
       [volumeOffset](PluginImage& i) {
         i.PutInVolume(0, volume_field::kMySize, 7);
         volumeOffset(1, 1966015)(i);
       },
       "pTwbMetaData->MySize is: 7 entry_PLUGIN_VHDX_METADATA->MetaData[ i ].cbSize is 512"},
      {"volume_record_in_the_last_66_bytes",
       {},
       recordNearTheEnd(0, 512),
       "pTwbMetaData->ImageFileList is not terminated inside the metadata region."},
      {"volume_record_in_the_last_66_bytes_with_a_wrong_MySize",
       {},
       recordNearTheEnd(0, 0),
       "pTwbMetaData->MySize is: 0 entry_PLUGIN_VHDX_METADATA->MetaData[ i ].cbSize is 512"},
      {"image_file_list_runs_to_the_end",
       {},
       recordNearTheEnd(40, 512),
       "pTwbMetaData->ImageFileList is not terminated inside the metadata region."},
      {"image_file_list_before_the_total",
       {},
       [recordNearTheEnd](PluginImage& i) {
         recordNearTheEnd(2, 512)(i);
         i.PutInPluginItem(plugin_field::kTotalMetaData, 0x1600);
         i.PutInMetadataRegion(MetadataEntry(kPluginItem, metadata_entry_field::kLength), 0x1600);
       },
       "pTwbMetaData->ImageFileList is not terminated inside the metadata region."},
  };
}

INSTANTIATE_TEST_SUITE_P(Container, MetadataBoundsCheck, testing::ValuesIn(MetadataBoundsCases()), NameOf);

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
