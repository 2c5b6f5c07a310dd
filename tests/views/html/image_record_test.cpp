// Reading one JSON line into the page's record: what is kept, and the
// problem named for a line that is not a valid object, for each kind of
// fault (the program names it on standard error with the line's number).
#include <gtest/gtest.h>

#include <string>

#include "views/html/image_record.h"

namespace {

using vhdx_inspect::views::html::LineReading;
using vhdx_inspect::views::html::ReadImageLine;
using vhdx_inspect::views::html::Verdict;

const std::string kSound = R"({"schema_version":1,"path":"a.vhdx","verdict":"sound","gpt_findings":[],"warnings":[]})";

TEST(ReadImageLine, KeepsTheRowAndNoMapForASoundImage) {
  const LineReading reading = ReadImageLine(kSound, false);
  ASSERT_TRUE(reading.record) << reading.problem;
  EXPECT_EQ(reading.record->path, "a.vhdx");
  EXPECT_EQ(reading.record->verdict, Verdict::kSound);
  EXPECT_FALSE(reading.record->map);
  EXPECT_TRUE(ReadImageLine(kSound, true).record->map);
}

TEST(ReadImageLine, KeepsTheFailureAndThePlacesOfADamagedImage) {
  const std::string line =
      R"({"schema_version":1,"path":"b.vhdx","verdict":"corrupt","failure":{"check":"gpt_trailer.read",)"
      R"("message":"line","description":"sentence","system_status":5},"gpt_findings":[],)"
      R"("warnings":[{"check":"gpt.partition_name","message":"w","entry":2,"header":"backup"}],)"
      R"("structure":{"file_size":6291456,"headers":[{"offset":65536},{"offset":131072}],)"
      R"("region_tables":[{"offset":196608},{"offset":262144}],"log_offset":1048576,"log_length":1048576,)"
      R"("log_state":"empty","has_parent":false},)"
      R"("regions":{"bat_offset":3145728,"bat_length":1048576,"metadata_offset":2097152,)"
      R"("metadata_length":1048576,"data_area_offset":4194304},)"
      R"("partition_area":{"mbr_gpt_size":17408,"gpt_trailer_length":16896,"gpt_trailer_offset":-5242880}})";
  const LineReading reading = ReadImageLine(line, false);
  ASSERT_TRUE(reading.record) << reading.problem;
  const auto& record = *reading.record;
  ASSERT_TRUE(record.failure);
  EXPECT_EQ(record.failure->check, "gpt_trailer.read");
  EXPECT_EQ(record.failure->description, "sentence");
  ASSERT_EQ(record.warnings.size(), 1u);
  EXPECT_EQ(record.warnings[0].side, "backup");
  EXPECT_EQ(record.warnings[0].entry, 2u);
  ASSERT_TRUE(record.map);
  EXPECT_EQ(record.map->fileSize, 6291456u);
  ASSERT_TRUE(record.map->batRegion);
  EXPECT_EQ(record.map->batRegion->offset, 3145728u);
  ASSERT_TRUE(record.map->partitionArea);
  EXPECT_EQ(record.map->partitionArea->offset, 4194304u);
  EXPECT_EQ(record.map->partitionArea->length, 17408u);
  // 4 MiB - 5 MiB: before the file's start.
  ASSERT_TRUE(record.map->gptTrailer);
  EXPECT_TRUE(record.map->gptTrailer->beforeStart);
  EXPECT_EQ(record.map->gptTrailer->offset, 0u);
}

TEST(ReadImageLine, JoinsManyExtentsIntoGroups) {
  std::string extents;
  for (int i = 0; i < 100; ++i) {
    if (i > 0) extents += ",";
    extents += R"({"offset":)" + std::to_string((8 + 2 * i) * 1048576) + R"(,"length":1048576})";
  }
  const std::string line =
      R"({"schema_version":1,"path":"c.vhdx","verdict":"not_plugin","failure":{"check":"file_identifier.creator",)"
      R"("message":"m"},"gpt_findings":[],"warnings":[],"bat":{"present_blocks":[)" +
      extents + R"(],"present_blocks_complete":true}})";
  const LineReading reading = ReadImageLine(line, false);
  ASSERT_TRUE(reading.record) << reading.problem;
  const auto& facts = *reading.record->map;
  EXPECT_EQ(facts.presentExtents, 100u);
  ASSERT_EQ(facts.presentBlocks.size(), vhdx_inspect::views::html::kMostExtentGroups);
  // The groups cover the first extent's start to the last one's end.
  EXPECT_EQ(facts.presentBlocks.front().offset, 8u * 1048576);
  EXPECT_EQ(facts.presentBlocks.back().offset + facts.presentBlocks.back().length, (8 + 2 * 99 + 1) * 1048576u);
}

struct Invalid {
  const char* what;
  std::string line;
  std::string problem;
};

class InvalidLine : public testing::TestWithParam<Invalid> {};

TEST_P(InvalidLine, IsRefusedNamingItsFault) {
  const LineReading reading = ReadImageLine(GetParam().line, false);
  EXPECT_FALSE(reading.record) << GetParam().what;
  EXPECT_EQ(reading.problem, GetParam().problem) << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(
    Table, InvalidLine,
    testing::Values(
        Invalid{"not JSON", "{\"schema_version\":1,", "not JSON (byte 21)"}, Invalid{"empty", "", "not JSON (byte 1)"},
        Invalid{"an array", "[]", "not a JSON object"},
        Invalid{"no path", R"({"schema_version":1,"verdict":"sound","gpt_findings":[],"warnings":[]})",
                "path: missing"},
        Invalid{"another schema version",
                R"({"schema_version":2,"path":"a","verdict":"sound","gpt_findings":[],"warnings":[]})",
                "schema_version: not 1"},
        Invalid{"a path that is a number",
                R"({"schema_version":1,"path":7,"verdict":"sound","gpt_findings":[],"warnings":[]})",
                "path: not a string"},
        Invalid{"an unknown verdict",
                R"({"schema_version":1,"path":"a","verdict":"fine","gpt_findings":[],"warnings":[]})",
                "verdict: not one of the five verdicts"},
        Invalid{"corrupt without a failure",
                R"({"schema_version":1,"path":"a","verdict":"corrupt","gpt_findings":[],"warnings":[]})",
                "failure: missing for verdict corrupt"},
        Invalid{"sound with a failure",
                R"({"schema_version":1,"path":"a","verdict":"sound","failure":{"check":"a.b","message":""},)"
                R"("gpt_findings":[],"warnings":[]})",
                "failure: present with verdict sound"},
        Invalid{"gpt_mismatch without findings",
                R"({"schema_version":1,"path":"a","verdict":"gpt_mismatch","gpt_findings":[],"warnings":[]})",
                "gpt_findings: empty with verdict gpt_mismatch"},
        Invalid{"a warning that is not an object",
                R"({"schema_version":1,"path":"a","verdict":"sound","gpt_findings":[],"warnings":[3]})",
                "warnings[0]: not an object"},
        Invalid{"a check that is not a check's name",
                R"({"schema_version":1,"path":"a","verdict":"sound","gpt_findings":[],)"
                R"("warnings":[{"check":"<b>","message":""}]})",
                "warnings[0].check: not a check's name"},
        Invalid{"a side that is neither",
                R"({"schema_version":1,"path":"a","verdict":"gpt_mismatch","gpt_findings":[{"check":"gpt.my_lba",)"
                R"("message":"","header":"middle"}],"warnings":[]})",
                "gpt_findings[0].header: neither \"primary\" nor \"backup\""},
        Invalid{"a negative offset",
                R"({"schema_version":1,"path":"a","verdict":"sound","gpt_findings":[],"warnings":[],)"
                R"("regions":{"bat_offset":-1,"bat_length":0,"metadata_offset":0,"metadata_length":0,)"
                R"("data_area_offset":0}})",
                "regions.bat_offset: not an integer from 0 to 2^64-1"},
        Invalid{"a file size that is a fraction",
                R"({"schema_version":1,"path":"a","verdict":"sound","gpt_findings":[],"warnings":[],)"
                R"("structure":{"file_size":1.5,"headers":[],"region_tables":[],"log_offset":0,"log_length":0}})",
                "structure.file_size: not an integer from 0 to 2^64-1"},
        Invalid{"a partition without a name",
                R"({"schema_version":1,"path":"a","verdict":"sound","gpt_findings":[],"warnings":[],)"
                R"("primary_gpt":{"my_lba":1,"partition_entry_lba":2,"number_of_partition_entries":128,)"
                R"("size_of_partition_entry":128,"entries":[{"type_name":"t","first_lba":1,"last_lba":2}]}})",
                "primary_gpt.entries[0].name: missing"},
        Invalid{"a trailer offset above 2^63-1",
                R"({"schema_version":1,"path":"a","verdict":"sound","gpt_findings":[],"warnings":[],)"
                R"("partition_area":{"mbr_gpt_size":1,"gpt_trailer_length":1,)"
                R"("gpt_trailer_offset":9223372036854775808}})",
                "partition_area.gpt_trailer_offset: not an integer from -2^63 to 2^63-1"}));

}  // namespace
