// The JSON program and the text program agree on every image of the corpus:
// the failure's message is the text's diagnostic line (the line before
// "Exception occurred: plugin VHDX is corrupt"), the findings are the text's
// finding lines without their leading tabs and trailing blanks, with the
// values the text prints under them, and the verdict is "sound" exactly when
// the text shows no failure and no finding. The fixtures also say what
// their objects must hold.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "e2e/diagnostic_line.h"
#include "e2e/platform_expectations.h"
#include "e2e/run_tool.h"
#include "hostile/hostile_corpus.h"
#include "json_corpus.h"
#include "json_run.h"
#include "support/scratch_directory.h"

namespace json_test {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using testsupport::ScratchDirectory;

// A finding as the text report prints it: its line, and the two values on
// the lines below it when it prints them.
struct TextFinding {
  std::string message;
  std::optional<std::uint64_t> value;
  std::optional<std::uint64_t> compared;
};

struct TextReport {
  std::optional<std::string> diagnostic;  // the line before the exception line
  std::vector<TextFinding> findings;
};

std::uint64_t HexValue(const std::string& line, const std::string& label) {
  const std::string text = line.substr(line.find(label) + label.size());
  return std::stoull(text, nullptr, 16);
}

TextReport ReadTextReport(const std::string& out) {
  TextReport report;
  report.diagnostic = e2e::DiagnosticLine(out);
  const std::vector<std::string> lines = e2e::LinesOf(out);
  bool verifying = false;
  for (const std::string& line : lines) {
    if (line == "Verifying the EFI header") verifying = true;
    if (!verifying || line.rfind('\t', 0) != 0) continue;
    if (line.rfind("\t\t", 0) != 0) {
      const std::size_t first = line.find_first_not_of('\t');
      const std::size_t last = line.find_last_not_of(' ');
      report.findings.push_back({line.substr(first, last + 1 - first), {}, {}});
    } else if (!report.findings.empty()) {
      if (line.find("Header value:") != std::string::npos) {
        report.findings.back().value = HexValue(line, "Header value:");
      } else if (line.find("Calculated value:") != std::string::npos) {
        report.findings.back().compared = HexValue(line, "Calculated value:");
      } else if (line.find("Trailer value:") != std::string::npos) {
        report.findings.back().compared = HexValue(line, "Trailer value:");
      }
    }
  }
  return report;
}

std::optional<std::uint64_t> Unsigned(const json& object, const char* key) {
  if (!object.contains(key)) return std::nullopt;
  return object[key].get<std::uint64_t>();
}

// Runs both programs on `path` and compares what they say.
json ExpectAgreement(const std::string& path) {
  SCOPED_TRACE(path);
  const e2e::ToolRun text = e2e::RunTool({"-f", path});
  const testsupport::ProgramRun run = RunJson({"-f", path});
  const json object = OnlyObject(run);
  EXPECT_TRUE(object.contains("verdict")) << run.out << run.err;
  if (!object.contains("verdict")) return object;
  const TextReport report = ReadTextReport(text.out);

  EXPECT_EQ(object["schema_version"], 1);
  EXPECT_EQ(object["path"], path);
  // The structure pass is the JSON program's own: a failure of it, where no
  // other check failed, has no line in the text report.
  bool structureFailure = false;
  if (object.contains("failure") && !report.diagnostic) {
    for (const json& finding : object["structure_findings"]) {
      if (finding["severity"] != "failure") continue;
      structureFailure =
          finding["check"] == object["failure"]["check"] && finding["description"] == object["failure"]["message"];
      break;
    }
  }
  EXPECT_EQ(object.contains("failure"), report.diagnostic.has_value() || structureFailure) << text.out << run.out;
  if (object.contains("failure") && report.diagnostic) {
    const std::string message = object["failure"]["message"];
    // A failed read of the metadata region has no line of its own.
    if (object["failure"]["check"] != "metadata_region.read") {
      EXPECT_EQ(message, *report.diagnostic);
    }
  }

  const json& findings = object["gpt_findings"];
  EXPECT_EQ(findings.size(), report.findings.size()) << text.out << run.out;
  for (std::size_t i = 0; i < std::min(findings.size(), report.findings.size()); ++i) {
    EXPECT_EQ(findings[i]["message"], report.findings[i].message);
    EXPECT_EQ(Unsigned(findings[i], "value"), report.findings[i].value);
    EXPECT_EQ(Unsigned(findings[i], "compared"), report.findings[i].compared);
  }

  const bool sound = !report.diagnostic && report.findings.empty() && !structureFailure;
  EXPECT_EQ(object["verdict"] == "sound", sound) << object["verdict"];
  EXPECT_EQ(run.status, sound ? kAllSound : kImageNotSound);
  EXPECT_EQ(run.err, "");
  return object;
}

std::vector<Named> NamedOf(const json& array) {
  std::vector<Named> named;
  for (const json& item : array) {
    named.push_back(
        {item["check"], item.contains("header") ? std::optional<std::string>(item["header"]) : std::nullopt});
  }
  return named;
}

class JsonAgreement : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    scratch_ = new ScratchDirectory;
    WriteCorpus(scratch_->path());
  }
  static void TearDownTestSuite() {
    delete scratch_;
    scratch_ = nullptr;
  }
  static ScratchDirectory* scratch_;
};
ScratchDirectory* JsonAgreement::scratch_ = nullptr;

TEST_F(JsonAgreement, EveryFixtureAgreesAndSaysWhatItHolds) {
  for (const Fixture& fixture : Fixtures()) {
    SCOPED_TRACE(fixture.name);
    const json object = ExpectAgreement((scratch_->path() / "fixtures" / fixture.name).string());
    EXPECT_EQ(object["verdict"], fixture.verdict);
    if (fixture.failureCheck.empty()) {
      EXPECT_FALSE(object.contains("failure"));
    } else {
      EXPECT_EQ(object["failure"]["check"], fixture.failureCheck);
    }
    EXPECT_EQ(NamedOf(object["gpt_findings"]), fixture.findings);
    EXPECT_EQ(NamedOf(object["warnings"]), fixture.warnings);
  }
}

TEST_F(JsonAgreement, EveryHostileImageAgrees) {
  for (const hostile::Entry& entry : hostile::Corpus()) {
    const fs::path path = scratch_->path() / "hostile" / entry.name;
    if (!fs::exists(fs::symlink_status(path))) continue;  // left out for the Windows program
    const json object = ExpectAgreement(path.string());
    if (entry.expected.Corrupt()) {
      EXPECT_TRUE(object.contains("failure")) << entry.name;
    }
  }
}

TEST_F(JsonAgreement, AMissingImageIsUnreadableWithTheSystemStatus) {
  const std::string path = (scratch_->path() / "fixtures" / "missing.vhdx").string();
  const json object = OnlyObject(RunJson({"-f", path}));
  EXPECT_EQ(object["failure"]["system_status"], e2e::StatusOf(e2e::Failure::kNoSuchFile));
  EXPECT_FALSE(object.contains("header"));
}

TEST_F(JsonAgreement, ASoundImageHasEveryRecordWithItsWrittenValues) {
  const json object = OnlyObject(RunJson({"-f", (scratch_->path() / "fixtures" / "sound.vhdx").string()}));
  for (const char* key :
       {"header", "regions", "metadata", "plugin", "volumes", "partition_area", "mbr", "primary_gpt", "backup_gpt"}) {
    EXPECT_TRUE(object.contains(key)) << key;
  }
  // The sample image's values (testsupport/plugin_image.h), GUIDs in
  // canonical lower-case form.
  EXPECT_EQ(object["header"]["file_write_guid"], "3e1a5c07-91b4-4f2d-a86e-0c5d2b7f4e19");
  EXPECT_EQ(object["header"]["data_write_guid"], "b72d40e6-5a13-4c8f-9e21-d4f06a3b8c57");
  EXPECT_EQ(object["header"]["log_guid"], "00000000-0000-0000-0000-000000000000");
  EXPECT_EQ(object["metadata"]["virtual_disk_size"], 1073741824u);
  EXPECT_EQ(object["metadata"]["block_size"], 33554432u);
  EXPECT_EQ(object["volumes"].size(), 2u);
  EXPECT_EQ(object["volumes"][0]["image_file_list"], "D:\\Images\\system.twb");
  EXPECT_EQ(object["volumes"][1]["volume_size"], 400 * 1024 * 1024);
  EXPECT_EQ(object["primary_gpt"]["disk_guid"], "a4f2c9e1-7d35-4b08-8c6a-1e59d3b07f42");
  EXPECT_EQ(object["primary_gpt"]["signature"], "4546492050415254");  // "EFI PART"
  EXPECT_EQ(object["backup_gpt"]["entries"].size(), 3u);
  EXPECT_EQ(object["mbr"]["partitions"].size(), 4u);
  EXPECT_EQ(object["mbr"]["partitions"][0]["type"], 0xee);
}

TEST_F(JsonAgreement, IntegersAreExactTo64Bits) {
  const testsupport::ProgramRun run =
      RunJson({"-f", (scratch_->path() / "fixtures" / "sequence-number-max.vhdx").string()});
  EXPECT_NE(run.out.find("\"sequence_number\":18446744073709551615,"), std::string::npos) << run.out;
  EXPECT_EQ(OnlyObject(run)["header"]["sequence_number"].get<std::uint64_t>(),
            std::numeric_limits<std::uint64_t>::max());
}

TEST_F(JsonAgreement, TheStoredAndTheCalculatedChecksumOfAFinding) {
  const json object =
      OnlyObject(RunJson({"-f", (scratch_->path() / "fixtures" / "backup-gpt-header-crc.vhdx").string()}));
  ASSERT_EQ(object["gpt_findings"].size(), 1u);
  EXPECT_EQ(object["gpt_findings"][0]["message"], "HeaderCRC32 is invalid.");
  EXPECT_EQ(object["gpt_findings"][0]["value"], 0x12345678u);
  EXPECT_NE(object["gpt_findings"][0]["compared"], 0x12345678u);
}

TEST_F(JsonAgreement, ALoneSurrogateInAPartitionNameIsReplaced) {
  const json object =
      OnlyObject(RunJson({"-f", (scratch_->path() / "fixtures" / "partition-name-lone-surrogate.vhdx").string()}));
  for (const char* table : {"primary_gpt", "backup_gpt"}) {
    EXPECT_EQ(object[table]["entries"][2]["name"], "Basic data partition\xEF\xBF\xBD") << table;
  }
}

}  // namespace
}  // namespace json_test
