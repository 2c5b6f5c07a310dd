// vhdx-inspect-report through the built program: the same page from its own
// scan and from vhdx-inspect-json's lines, lines that are not valid objects,
// hostile names shown only escaped, and the exit statuses.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "json/json_corpus.h"
#include "json/json_run.h"
#include "report_run.h"
#include "support/scratch_directory.h"

namespace report_test {
namespace {

namespace fs = std::filesystem;
using testsupport::ProgramRun;
using testsupport::ScratchDirectory;

// The documented exit statuses (vhdx-inspect-report(1)).
constexpr int kAllSound = 0;
constexpr int kCommandLineError = 1;
constexpr int kReportNotWritten = 2;
constexpr int kNotAllReached = 3;
constexpr int kImageNotSound = 4;

std::string Describe(const ProgramRun& run) { return "status " + std::to_string(run.status) + ", stderr:\n" + run.err; }

// The rows of the page's table: (verdict, path cell), in order.
std::vector<std::pair<std::string, std::string>> Rows(const std::string& page) {
  std::vector<std::pair<std::string, std::string>> rows;
  const std::regex row(
      R"re(<tr id="row-[0-9]+" class="image" data-verdict="([a-z_]+)"><td>[0-9]+</td><td class="path">(.*?)</td>)re");
  for (auto it = std::sregex_iterator(page.begin(), page.end(), row); it != std::sregex_iterator(); ++it) {
    rows.emplace_back((*it)[1], (*it)[2]);
  }
  return rows;
}

TEST(ReportProgram, GivesTheSamePageFromItsScanAndFromTheJsonProgramsLines) {
  const ScratchDirectory scratch;
  json_test::WriteCorpus(scratch.path());
  WriteHostileNames(scratch.path() / "fixtures");
  const std::string folder = scratch / "fixtures";

  const ProgramRun scan = RunReport({"-r", "-p", folder, "-o", scratch / "scan.html"});
  EXPECT_EQ(scan.status, kImageNotSound) << Describe(scan);
  EXPECT_EQ(scan.out, "");

  const ProgramRun json = json_test::RunJson({"-r", "-p", folder});
  ASSERT_EQ(json.status, kImageNotSound) << json.err;
  {
    std::ofstream lines(scratch / "lines.jsonl", std::ios::binary);
    lines << json.out;
  }
  // From a file, and from standard input with the page on standard output.
  const ProgramRun fromFile = RunReport({"--from-json", scratch / "lines.jsonl", "-o", scratch / "lines.html"});
  EXPECT_EQ(fromFile.status, kImageNotSound) << Describe(fromFile);
  testsupport::RunLimits piped;
  piped.input = scratch / "lines.jsonl";
  const ProgramRun fromInput = RunReport({"--from-json", "-"}, piped);
  EXPECT_EQ(fromInput.status, kImageNotSound) << Describe(fromInput);

  const std::string page = ReadFile(scratch / "scan.html");
  ASSERT_FALSE(page.empty());
  EXPECT_EQ(WithoutMadeLine(page), WithoutMadeLine(ReadFile(scratch / "lines.html")));
  EXPECT_EQ(WithoutMadeLine(page), WithoutMadeLine(fromInput.out));
  EXPECT_NE(page, ReadFile(scratch / "lines.html")) << "the made line names where the page came from";

  // Every image has its row, worst first.
  const auto rows = Rows(page);
  EXPECT_EQ(rows.size(), json_test::JsonLines(json.out).size());
  const std::vector<std::string> order = {"corrupt", "unreadable", "gpt_mismatch", "not_plugin", "sound"};
  for (std::size_t i = 1; i < rows.size(); ++i) {
    const auto rank = [&](const std::string& v) { return std::find(order.begin(), order.end(), v) - order.begin(); };
    EXPECT_LE(rank(rows[i - 1].first), rank(rows[i].first)) << i;
  }
}

TEST(ReportProgram, ShowsHostileNamesOnlyAsText) {
  const ScratchDirectory scratch;
  WriteHostileNames(scratch.path());
  const ProgramRun run = RunReport({"--maps", "all", "-p", scratch.path().string()});
  EXPECT_EQ(run.status, kImageNotSound) << Describe(run);
  const std::string& page = run.out;
  for (const char* raw : {kScriptName, kImgName, kHostileFileName, "<img", "<svg onload", "document.title=1<"}) {
    EXPECT_EQ(page.find(raw), std::string::npos) << raw;
  }
  EXPECT_EQ(page.find("<script"), std::string::npos);
  // Each name is there, escaped: in the maps (both GPTs' partitions, --maps
  // all) and the file name in the table and its map's heading.
  for (const char* escaped : {kScriptNameEscaped, kImgNameEscaped}) {
    EXPECT_NE(page.find(escaped), std::string::npos) << escaped;
  }
  if (!WindowsReportProgramUnderTest()) {
    EXPECT_NE(page.find(kHostileFileNameEscaped), std::string::npos);
  }
  EXPECT_EQ(Rows(page).size(), 3u);
}

TEST(ReportProgram, LeavesOutLinesThatAreNotValidObjectsNamingEachByItsNumber) {
  const ScratchDirectory scratch;
  const std::string sound = R"({"schema_version":1,"path":"a.vhdx","verdict":"sound","gpt_findings":[],"warnings":[]})";
  const std::string corrupt =
      R"({"schema_version":1,"path":"b.vhdx","verdict":"corrupt","failure":{"check":"header_section.short",)"
      R"("message":"short"},"gpt_findings":[],"warnings":[]})";
  {
    std::ofstream lines(scratch / "lines.jsonl", std::ios::binary);
    lines << sound << "\n"                                                                // 1
          << "not json\n"                                                                 // 2
          << corrupt << "\r\n"                                                            // 3: CR LF is a line end
          << R"({"schema_version":1,"verdict":"sound","gpt_findings":[],"warnings":[]})"  // 4: no path
          << "\n\n"                                                                       // 5: empty
          << sound;                                                                       // 6: no line end
  }
  const ProgramRun run = RunReport({"--from-json", scratch / "lines.jsonl"});
  EXPECT_EQ(run.status, kNotAllReached) << Describe(run);
  const std::string prefix = "vhdx-inspect-report: " + scratch / "lines.jsonl";
  EXPECT_EQ(run.err, prefix + " line 2: not an object of vhdx-inspect-json's schema: not JSON (byte 2)\n" + prefix +
                         " line 4: not an object of vhdx-inspect-json's schema: path: missing\n" + prefix +
                         " line 5: not an object of vhdx-inspect-json's schema: not JSON (byte 1)\n");
  const auto rows = Rows(run.out);
  ASSERT_EQ(rows.size(), 3u) << run.out;
  EXPECT_EQ(rows[0], (std::pair<std::string, std::string>{"corrupt", "<a href=\"#map-1\">b.vhdx</a>"}));
  EXPECT_EQ(rows[1].first, "sound");
  EXPECT_EQ(rows[2].first, "sound");
  EXPECT_NE(run.out.find("<g class=\"mark failed\" data-check=\"header_section.short\">"), std::string::npos);
}

struct StatusCase {
  const char* what;
  std::vector<std::string> arguments;  // "{dir}" is the scratch directory
  int status;
  std::string err;  // the start of standard error
};

class ReportStatus : public testing::TestWithParam<StatusCase> {};

TEST_P(ReportStatus, IsTheDocumentedOne) {
  const ScratchDirectory scratch;
  json_test::WriteFixtures(scratch.path());
  std::vector<std::string> arguments;
  for (std::string argument : GetParam().arguments) {
    const std::size_t at = argument.find("{dir}");
    if (at != std::string::npos) argument.replace(at, 5, scratch.path().string());
    arguments.push_back(argument);
  }
  const ProgramRun run = RunReport(arguments);
  EXPECT_EQ(run.status, GetParam().status) << GetParam().what << ": " << Describe(run);
  EXPECT_EQ(run.err.substr(0, GetParam().err.size()), GetParam().err) << GetParam().what;
  const bool pageWritten = GetParam().status == kAllSound || GetParam().status >= kNotAllReached;
  EXPECT_EQ(run.out.rfind("<!DOCTYPE html>", 0) == 0, pageWritten) << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(
    Table, ReportStatus,
    testing::Values(
        StatusCase{"a sound image", {"{dir}/sound.vhdx"}, kAllSound, ""},
        StatusCase{"a damaged image", {"-f", "{dir}/truncated.vhdx"}, kImageNotSound, ""},
        StatusCase{
            "a folder that is missing", {"-p", "{dir}/none"}, kNotAllReached, "vhdx-inspect-report: VHDX directory "},
        StatusCase{"nothing to scan", {}, kCommandLineError, "vhdx-inspect-report: give images"},
        StatusCase{"--from-json with -p",
                   {"--from-json", "-", "-p", "{dir}"},
                   kCommandLineError,
                   "vhdx-inspect-report: --from-json takes no images"},
        StatusCase{"--maps other",
                   {"--maps", "some", "{dir}/sound.vhdx"},
                   kCommandLineError,
                   "vhdx-inspect-report: --maps takes all or damaged"},
        StatusCase{
            "-j out of range", {"-j", "0", "{dir}/sound.vhdx"}, kCommandLineError, "vhdx-inspect-report: -j takes"},
        StatusCase{"-o in a folder that is missing",
                   {"-o", "{dir}/none/r.html", "{dir}/sound.vhdx"},
                   kReportNotWritten,
                   "vhdx-inspect-report: cannot write the report to "},
        StatusCase{"--from-json of a file that is missing",
                   {"--from-json", "{dir}/none.jsonl"},
                   kNotAllReached,
                   "vhdx-inspect-report: cannot read"}));

TEST(ReportProgram, EndsWithStatus2WhenStandardOutputRefusesThePage) {
  const ScratchDirectory scratch;
  json_test::WriteFixtures(scratch.path());
  testsupport::RunLimits full;
  full.output = testsupport::StandardOutput::kFull;
  const ProgramRun run = RunReport({scratch / "sound.vhdx"}, full);
  EXPECT_EQ(run.status, kReportNotWritten) << Describe(run);
  EXPECT_NE(run.err.find("vhdx-inspect-report: cannot write the report to standard output: "), std::string::npos)
      << run.err;
}

}  // namespace
}  // namespace report_test
