// The maps of one image, read back from the SVG they are written as: the
// failed structure drawn over the structure its check names, a structure
// past the file's end drawn past the end marker, and every string from the
// image escaped.
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "views/html/image_map.h"
#include "views/html/image_record.h"

namespace {

using namespace vhdx_inspect::views::html;

constexpr std::uint64_t kMiB = 1024 * 1024;

// The x of every <rect> in the group that starts at `from` in `svg`.
std::vector<double> RectsOfGroup(const std::string& svg, std::size_t from) {
  const std::size_t end = svg.find("</g>", from);
  const std::string group = svg.substr(from, end - from);
  std::vector<double> xs;
  const std::regex rect(R"re(<rect x="([0-9.]+)")re");
  for (auto it = std::sregex_iterator(group.begin(), group.end(), rect); it != std::sregex_iterator(); ++it) {
    xs.push_back(std::stod((*it)[1]));
  }
  return xs;
}

// The group of the structure row whose label starts with `label`.
std::size_t StructureGroup(const std::string& svg, const std::string& label) {
  const std::size_t text = svg.find(">" + label);
  return svg.rfind("<g class=\"structure\">", text);
}

ImageRecord Damaged(const std::string& check) {
  ImageRecord record;
  record.path = "x.vhdx";
  record.verdict = Verdict::kCorrupt;
  record.failure = Finding{check, "", "the line", "the sentence", "", std::nullopt, std::nullopt};
  MapFacts facts;
  facts.fileSize = 6 * kMiB;
  facts.log = Place{kMiB, kMiB, false};
  facts.metadataRegion = Place{2 * kMiB, kMiB, false};
  facts.batRegion = Place{3 * kMiB, kMiB, false};
  facts.partitionArea = Place{4 * kMiB, 0x4400, false};
  facts.gptTrailer = Place{44 * kMiB, 0x4200, false};  // 40 MiB past the end
  record.map = facts;
  return record;
}

TEST(ImageMap, DrawsTheFailureOverTheStructureItsCheckNames) {
  for (const auto& [check, label] : {std::pair{"bat.state", "BAT region"},
                                     {"metadata.flags", "metadata region"},
                                     {"header.log_place", "log"},
                                     {"log.no_valid_sequence", "log"},
                                     {"partition_area.read", "partition-table area"}}) {
    std::string out;
    AppendImageMaps(out, Damaged(check), 1);
    const std::size_t failed = out.find(std::string("<g class=\"mark failed\" data-check=\"") + check + "\">");
    ASSERT_NE(failed, std::string::npos) << check << "\n" << out;
    const std::vector<double> failedRects = RectsOfGroup(out, failed);
    const std::vector<double> structureRects = RectsOfGroup(out, StructureGroup(out, label));
    ASSERT_EQ(failedRects.size(), 1u) << check;
    ASSERT_EQ(structureRects.size(), 1u) << check;
    EXPECT_DOUBLE_EQ(failedRects[0], structureRects[0]) << check;
  }
}

TEST(ImageMap, DrawsAStructurePastTheEndOfTheFilePastTheEndMarker) {
  std::string out;
  AppendImageMaps(out, Damaged("gpt_trailer.read"), 1);
  const std::smatch end = [&] {
    std::smatch match;
    std::regex_search(out, match, std::regex(R"re(<line x1="([0-9.]+)")re"));
    return match;
  }();
  ASSERT_FALSE(end.empty()) << out;
  const double endX = std::stod(end[1]);
  const std::size_t failed = out.find("<g class=\"mark failed\" data-check=\"gpt_trailer.read\">");
  ASSERT_NE(failed, std::string::npos);
  const std::vector<double> rects = RectsOfGroup(out, failed);
  ASSERT_EQ(rects.size(), 1u);
  EXPECT_GT(rects[0], endX);
  EXPECT_NE(out.find("past the file&#39;s end"), std::string::npos);
  EXPECT_NE(out.find(">GPT trailer \xC2\xB7 0x2c00000, \xE2\x89\x88"
                     "16.5 KiB<"),
            std::string::npos)
      << out;
}

TEST(ImageMap, EscapesThePathAndPartitionNames) {
  ImageRecord record = Damaged("gpt.header_crc");
  record.path = "<b>\".vhdx";
  record.map->primaryGpt = GptPlace{1, 2, 128 * 128};
  record.map->partitions = {Partition{"<script>x</script>", "Basic data partition", 2048, 4095}};
  std::string out;
  AppendImageMaps(out, record, 3);
  EXPECT_EQ(out.find("<script"), std::string::npos);
  EXPECT_EQ(out.find("<b>"), std::string::npos);
  EXPECT_NE(out.find("&lt;b&gt;&quot;.vhdx"), std::string::npos);
  EXPECT_NE(out.find("&lt;script&gt;x&lt;/script&gt; (Basic data partition)"), std::string::npos);
  EXPECT_NE(out.find("id=\"map-3\""), std::string::npos);
}

}  // namespace
