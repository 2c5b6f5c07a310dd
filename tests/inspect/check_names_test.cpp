// Every check's number and name, pinned: scripts and stored JSON lines rely
// on both, so neither may change. A check that goes away leaves its number
// unused (33 and 100 to 103 are such numbers).
#include <gtest/gtest.h>

#include <cstdint>
#include <regex>
#include <set>
#include <string>

#include "vhdx_inspect/check.h"
#include "vhdx_inspect/inspection.h"
#include "vhdx_inspect/verdict.h"

namespace inspect_test {
namespace {

using vhdx_inspect::Check;

struct NamedCheck {
  std::uint16_t number;
  const char* name;
};

constexpr NamedCheck kChecks[] = {
    {1, "image.open"},
    {2, "header_section.read"},
    {3, "header_section.short"},
    {4, "file_identifier.signature"},
    {5, "file_identifier.creator"},
    {6, "header.signature"},
    {7, "header.crc"},
    {8, "region_table.crc"},
    {9, "region_table.signature"},
    {10, "region_table.entry_count"},
    {11, "region_table.bat_guid"},
    {12, "region_table.metadata_guid"},
    {13, "metadata_region.seek"},
    {14, "metadata_region.read"},
    {15, "metadata_table.signature"},
    {16, "metadata_table.entry_count"},
    {17, "metadata_table.plugin_missing"},
    {18, "metadata_table.file_parameters_offset"},
    {19, "metadata_table.virtual_disk_size_offset"},
    {20, "metadata_table.logical_sector_size_offset"},
    {21, "metadata_table.physical_sector_size_offset"},
    {22, "metadata_table.plugin_offset"},
    {23, "file_parameters.block_size"},
    {24, "plugin.length"},
    {25, "plugin.mbr_gpt_size_zero"},
    {26, "plugin.trailer_offset_zero"},
    {27, "volume.offset"},
    {28, "volume.size"},
    {29, "volume.image_file_list"},
    {30, "plugin.total_size"},
    {31, "partition_area.size"},
    {32, "gpt_trailer.length"},
    {34, "partition_tables.fit"},
    {35, "partition_area.seek"},
    {36, "partition_area.read"},
    {37, "gpt_trailer.seek"},
    {38, "gpt_trailer.read"},
    {39, "inspection.out_of_memory"},
    {50, "gpt.signature"},
    {51, "gpt.revision"},
    {52, "gpt.header_size"},
    {53, "gpt.number_of_partition_entries"},
    {54, "gpt.size_of_partition_entry"},
    {55, "gpt.header_crc"},
    {56, "gpt.entry_array_crc"},
    {57, "gpt.my_lba"},
    {58, "gpt.alternate_lba"},
    {59, "gpt.first_usable_lba"},
    {60, "gpt.last_usable_lba"},
    {61, "gpt.entry_array_crc_agreement"},
    {80, "metadata.virtual_disk_size"},
    {81, "header.log_guid"},
    {82, "gpt.partition_name"},
    {120, "file.truncated"},
    {121, "header.copy_damaged"},
    {122, "header.no_valid_copy"},
    {123, "header.version"},
    {124, "header.log_version"},
    {125, "header.log_place"},
    {126, "header.same_sequence"},
    {127, "region_table.copy_damaged"},
    {128, "region_table.copies_differ"},
    {129, "region_table.entry_limit"},
    {130, "region_table.duplicate_region"},
    {131, "region_table.region_place"},
    {132, "region_table.unknown_required"},
    {133, "region_table.missing_region"},
    {134, "file.overlap"},
    {135, "metadata.table"},
    {136, "metadata.duplicate_item"},
    {137, "metadata.missing_item"},
    {138, "metadata.unknown_required_item"},
    {139, "metadata.item_place"},
    {140, "metadata.block_size"},
    {141, "metadata.sector_size"},
    {142, "metadata.disk_size"},
    {143, "metadata.flags"},
    {144, "bat.region_size"},
    {145, "bat.state"},
    {146, "bat.reserved_bits"},
    {147, "bat.block_overlap"},
    {148, "bat.read"},
    {149, "log.replay_pending"},
    {150, "log.no_valid_sequence"},
    {151, "log.flushed_offset"},
    {152, "log.read"},
};

TEST(CheckNames, EveryNumberKeepsItsName) {
  std::set<std::string> names;
  for (const NamedCheck& c : kChecks) {
    SCOPED_TRACE(c.number);
    EXPECT_EQ(std::string(vhdx_inspect::CheckName(static_cast<Check>(c.number))), c.name);
    EXPECT_TRUE(names.insert(c.name).second) << "a name used twice";
    EXPECT_TRUE(std::regex_match(c.name, std::regex("[a-z0-9_]+(\\.[a-z0-9_]+)+")));
  }
}

TEST(CheckNames, EveryOtherNumberNamesNoCheck) {
  std::set<std::uint16_t> named;
  for (const NamedCheck& c : kChecks) named.insert(c.number);
  for (std::uint32_t number = 0; number <= 1024; ++number) {
    if (named.count(static_cast<std::uint16_t>(number)) != 0) continue;
    SCOPED_TRACE(number);
    EXPECT_STREQ(vhdx_inspect::CheckName(static_cast<Check>(number)), "unknown");
  }
}

TEST(VerdictNames, EveryVerdictKeepsItsName) {
  using vhdx_inspect::Verdict;
  const std::pair<Verdict, const char*> verdicts[] = {
      {Verdict::kSound, "sound"},          {Verdict::kGptMismatch, "gpt_mismatch"},
      {Verdict::kCorrupt, "corrupt"},      {Verdict::kUnreadable, "unreadable"},
      {Verdict::kNotPlugin, "not_plugin"}, {Verdict::kNotInspected, "not_inspected"},
  };
  for (const auto& [verdict, name] : verdicts) EXPECT_STREQ(vhdx_inspect::VerdictName(verdict), name);
  EXPECT_EQ(vhdx_inspect::Inspection{}.verdict, Verdict::kNotInspected) << "a default value claims nothing";
}

}  // namespace
}  // namespace inspect_test
