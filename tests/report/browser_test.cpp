// The report page in a real browser: Debian's chromium, headless, renders
// the page of the mixed test corpus and of hostile names; the tests read the
// DOM it ends with (--dump-dom) and keep a screenshot of each page in the
// build folder (artefacts/), which nothing is compared against. chromium is
// an optional test dependency: without it the tests are skipped, saying so,
// and in CI (CI=true), which installs it, they fail.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "json/json_corpus.h"
#include "json/json_run.h"
#include "report_run.h"
#include "support/required_tool.h"
#include "support/scratch_directory.h"

namespace report_test {
namespace {

namespace fs = std::filesystem;
using testsupport::ProgramRun;
using testsupport::ScratchDirectory;

// The DOM chromium ends with after loading `page`, and a screenshot of it
// kept as artefacts/<name>.png.
std::string RenderedDom(const std::string& chromium, const fs::path& page, const std::string& name) {
  const std::string url = "file://" + fs::absolute(page).string();
  testsupport::RunLimits limits;
  limits.timeout = std::chrono::seconds(120);
  const std::vector<std::string> common = {
      chromium,        "--headless",     "--no-sandbox",
      "--disable-gpu", "--no-first-run", "--user-data-dir=" + (page.parent_path() / "profile").string()};
  std::vector<std::string> dump = common;
  dump.insert(dump.end(), {"--dump-dom", url});
  const ProgramRun dom = testsupport::RunProgram(dump, limits);
  EXPECT_EQ(dom.status, 0) << dom.err;
  fs::create_directories(VHDX_BROWSER_ARTEFACTS);
  std::vector<std::string> shot = common;
  shot.insert(shot.end(), {"--hide-scrollbars", "--window-size=1280,3000",
                           "--screenshot=" + (fs::path(VHDX_BROWSER_ARTEFACTS) / (name + ".png")).string(), url});
  const ProgramRun screenshot = testsupport::RunProgram(shot, limits);
  EXPECT_EQ(screenshot.status, 0) << screenshot.err;
  EXPECT_TRUE(fs::exists(fs::path(VHDX_BROWSER_ARTEFACTS) / (name + ".png")));
  return dom.out;
}

// `text` as the DOM serialisation writes a text node: & < > escaped (a
// non-breaking space too, which no path here holds).
std::string AsSerialisedText(const std::string& text) {
  std::string out;
  for (const char c : text) {
    if (c == '&') {
      out += "&amp;";
    } else if (c == '<') {
      out += "&lt;";
    } else if (c == '>') {
      out += "&gt;";
    } else {
      out += c;
    }
  }
  return out;
}

// No script from the page's strings ran and no element came of them: the
// title is the page's own, and no script, img, iframe or svg with onload
// element is in the DOM.
void ExpectNothingRan(const std::string& dom) {
  EXPECT_NE(dom.find("<title>vhdx-inspect report</title>"), std::string::npos) << "the title was changed";
  for (const char* element : {"<script", "<img", "<iframe", "<svg onload", "onerror=\"", "onload=\""}) {
    EXPECT_EQ(dom.find(element), std::string::npos) << element;
  }
}

struct Row {
  std::string number;
  std::string verdict;
};

// The rows of the rendered table, by the path's serialised text.
std::map<std::string, Row> RowsByPath(const std::string& dom) {
  std::map<std::string, Row> rows;
  const std::regex row(
      R"re(<tr id="row-([0-9]+)" class="image" data-verdict="([a-z_]+)"><td>[0-9]+</td><td class="path">(?:<a href="#map-[0-9]+">)?(.*?)(?:</a>)?</td>)re");
  for (auto it = std::sregex_iterator(dom.begin(), dom.end(), row); it != std::sregex_iterator(); ++it) {
    rows[(*it)[3]] = Row{(*it)[1], (*it)[2]};
  }
  return rows;
}

// The map section of row `number`, or nothing.
std::optional<std::string> MapOf(const std::string& dom, const std::string& number) {
  const std::size_t start = dom.find("<section class=\"map\" id=\"map-" + number + "\"");
  if (start == std::string::npos) return std::nullopt;
  return dom.substr(start, dom.find("</section>", start) - start);
}

std::optional<std::string> Chromium() { return testsupport::RequireTool("chromium", "chromium"); }

TEST(ReportInBrowser, ShowsEveryImageOfTheCorpusAndMarksEachDamagedOnesFailure) {
  const std::optional<std::string> chromium = Chromium();
  if (!chromium) return;
  const ScratchDirectory scratch;
  json_test::WriteCorpus(scratch.path());
  WriteHostileNames(scratch.path() / "fixtures");
  const ProgramRun report = RunReport({"-r", "-p", scratch.path().string(), "-o", scratch / "report.html"});
  ASSERT_EQ(report.status, 3) << report.err;  // the corpus holds a folder that cannot be listed
  const ProgramRun json = json_test::RunJson({"-r", "-p", scratch.path().string()});
  const std::vector<nlohmann::json> lines = json_test::JsonLines(json.out);
  ASSERT_GT(lines.size(), 40u);

  const std::string dom = RenderedDom(*chromium, scratch / "report.html", "report-corpus");
  ExpectNothingRan(dom);
  const std::map<std::string, Row> rows = RowsByPath(dom);
  EXPECT_EQ(rows.size(), lines.size());
  for (const nlohmann::json& line : lines) {
    const std::string path = line["path"];
    const auto row = rows.find(AsSerialisedText(path));
    ASSERT_NE(row, rows.end()) << "no row for " << path;
    EXPECT_EQ(row->second.verdict, line["verdict"]) << path;
    const std::optional<std::string> map = MapOf(dom, row->second.number);
    if (line["verdict"] == "sound") {
      EXPECT_FALSE(map) << "a sound image has a map without --maps all: " << path;
      continue;
    }
    ASSERT_TRUE(map) << "no map for " << path;
    if (line.contains("failure")) {
      const std::string check = line["failure"]["check"];
      EXPECT_NE(map->find("<g class=\"mark failed\" data-check=\"" + check + "\">"), std::string::npos)
          << path << ": the failed structure (" << check << ") is not marked";
    }
    for (const nlohmann::json& finding : line["gpt_findings"]) {
      const std::string check = finding["check"];
      EXPECT_NE(map->find("data-check=\"" + check + "\""), std::string::npos) << path << ": " << check;
    }
  }
}

TEST(ReportInBrowser, RunsNoScriptFromHostileNames) {
  const std::optional<std::string> chromium = Chromium();
  if (!chromium) return;
  const ScratchDirectory scratch;
  WriteHostileNames(scratch.path());
  const ProgramRun report = RunReport({"--maps", "all", "-p", scratch.path().string(), "-o", scratch / "hostile.html"});
  ASSERT_EQ(report.status, 4) << report.err;
  const std::string dom = RenderedDom(*chromium, scratch / "hostile.html", "report-hostile");
  ExpectNothingRan(dom);
  // The names are there as text: in the maps' labels and the table.
  for (const char* name : {kScriptName, kImgName, kHostileFileName}) {
    EXPECT_NE(dom.find(AsSerialisedText(name)), std::string::npos) << name;
  }
  EXPECT_EQ(RowsByPath(dom).size(), 3u);
}

}  // namespace
}  // namespace report_test
