// The documentation keeps up with the checks and with itself: every check
// that the library can report is named in the pages, every structure check
// is explained (with its severity and what to do) wherever a user of the JSON
// program looks for it, and every relative link of the README and of docs/
// reaches a file, and a heading where it names one.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "vhdx_inspect/check.h"

namespace docs_test {
namespace {

namespace fs = std::filesystem;

const fs::path kSource = VHDX_SOURCE_DIR;

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  EXPECT_TRUE(in) << "cannot read " << path;
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Every name the library gives a check, with the structure pass's apart.
// Check numbers stay below 200 (check.h).
std::vector<std::string> CheckNames(bool structureOnly) {
  std::vector<std::string> names;
  for (std::uint16_t number = 1; number < 200; ++number) {
    const auto check = static_cast<vhdx_inspect::Check>(number);
    const std::string name = vhdx_inspect::CheckName(check);
    if (name == "unknown" || (structureOnly && !vhdx_inspect::IsStructureCheck(check))) continue;
    names.push_back(name);
  }
  return names;
}

TEST(Documentation, TheCheckNamesAreReadFromTheLibrary) {
  // A guard on the tests below: an empty list would pass them all.
  EXPECT_GE(CheckNames(true).size(), 29U);
  EXPECT_GT(CheckNames(false).size(), CheckNames(true).size());
}

// Where a structure check is explained, and how its explanation begins
// there: a row of the page's table with its severity, a tagged paragraph of
// the manual with its severity, a clause of the schema's description.
TEST(Documentation, EveryStructureCheckIsExplainedWhereUsersOfTheJsonProgramLook) {
  const std::string page = ReadText(kSource / "docs/vhdx-inspect-json.md");
  const std::string manual = ReadText(kSource / "docs/man/vhdx-inspect-json.1");
  const nlohmann::json schema =
      nlohmann::json::parse(ReadText(kSource / "programs/vhdx-inspect-json/vhdx-inspect-json.schema.json"));
  const std::string schemaText = schema.at("properties")
                                     .at("structure_findings")
                                     .at("items")
                                     .at("properties")
                                     .at("check")
                                     .at("description")
                                     .get<std::string>();
  for (const std::string& name : CheckNames(true)) {
    SCOPED_TRACE(name);
    const std::string pattern = std::regex_replace(name, std::regex("\\."), "\\.");
    const std::regex row("\\n\\| `" + pattern + "` \\| (failure|warning)[^|\\n]*\\|[^|\\n]{20,}\\|[^|\\n]{10,}\\|\\n");
    EXPECT_TRUE(std::regex_search(page, row)) << "docs/vhdx-inspect-json.md has no row for it";
    const std::regex tagged("\\n\\.TP\\n\\.BR " + pattern + " \" \\((failure|warning)[^\\n]*\\n[^.\\n][^\\n]{20,}\\n");
    EXPECT_TRUE(std::regex_search(manual, tagged)) << "docs/man/vhdx-inspect-json.1 has no paragraph for it";
    const bool described = schemaText.find(" " + name + " (failure") != std::string::npos ||
                           schemaText.find(" " + name + " (warning") != std::string::npos;
    EXPECT_TRUE(described) << "the schema's description of a structure finding's check does not describe it";
  }
}

TEST(Documentation, EveryCheckIsNamedInThePages) {
  const std::string pages =
      ReadText(kSource / "docs/damaged-images.md") + ReadText(kSource / "docs/vhdx-inspect-json.md");
  for (const std::string& name : CheckNames(false)) {
    EXPECT_NE(pages.find('`' + name + '`'), std::string::npos)
        << name << " is named neither in docs/damaged-images.md nor in docs/vhdx-inspect-json.md";
  }
}

// The anchor a heading gets on the usual Markdown hosts: lower case, spaces
// as hyphens, punctuation other than hyphens and underscores dropped.
std::string HeadingAnchor(std::string_view heading) {
  std::string anchor;
  for (const char c : heading) {
    const auto byte = static_cast<unsigned char>(c);
    if (std::isalnum(byte) || c == '-' || c == '_' || byte >= 0x80) {
      anchor += static_cast<char>(std::tolower(byte));
    } else if (c == ' ') {
      anchor += '-';
    }
  }
  return anchor;
}

// A Markdown page without its fenced code blocks, which hold no links.
std::string WithoutCodeBlocks(const std::string& text) {
  std::istringstream in(text);
  std::string out;
  std::string line;
  bool inCode = false;
  while (std::getline(in, line)) {
    if (line.starts_with("```")) {
      inCode = !inCode;
    } else if (!inCode) {
      out += line + '\n';
    }
  }
  return out;
}

std::set<std::string> Anchors(const fs::path& page) {
  std::set<std::string> anchors;
  std::istringstream in(WithoutCodeBlocks(ReadText(page)));
  std::string line;
  static const std::regex kHeading("^#+ +(.*)$");
  std::smatch match;
  while (std::getline(in, line)) {
    if (std::regex_match(line, match, kHeading)) anchors.insert(HeadingAnchor(match[1].str()));
  }
  return anchors;
}

TEST(Documentation, HeadingAnchorsAreTheHostsOnes) {
  EXPECT_EQ(HeadingAnchor("The container's own structure"), "the-containers-own-structure");
  EXPECT_EQ(HeadingAnchor("Python: `import vhdx_inspect`"), "python-import-vhdx_inspect");
  EXPECT_EQ(HeadingAnchor("Building and testing it on Debian 12"), "building-and-testing-it-on-debian-12");
}

TEST(Documentation, EveryRelativeLinkReachesAFileAndItsHeading) {
  std::vector<fs::path> pages = {kSource / "README.md"};
  for (const fs::directory_entry& entry : fs::directory_iterator(kSource / "docs")) {
    if (entry.path().extension() == ".md") pages.push_back(entry.path());
  }
  ASSERT_GE(pages.size(), 7U);
  // [text](target) and <img src="target">.
  static const std::regex kLink(R"re(\]\(([^)\s]+)\)|src="([^"]+)")re");
  for (const fs::path& page : pages) {
    const std::string text = WithoutCodeBlocks(ReadText(page));
    for (std::sregex_iterator it(text.begin(), text.end(), kLink), end; it != end; ++it) {
      const std::string link = (*it)[1].matched ? (*it)[1].str() : (*it)[2].str();
      if (std::regex_search(link, std::regex("^[a-z]+:"))) continue;  // https:, mailto:
      const std::size_t hash = link.find('#');
      const std::string file = link.substr(0, hash);
      const fs::path target = file.empty() ? page : (page.parent_path() / file).lexically_normal();
      SCOPED_TRACE(page.filename().string() + ": " + link);
      if (!fs::exists(target)) {
        ADD_FAILURE() << target << " does not exist";
        continue;
      }
      if (hash != std::string::npos && target.extension() == ".md") {
        EXPECT_EQ(Anchors(target).count(link.substr(hash + 1)), 1U) << "no such heading in " << target;
      }
    }
  }
}

}  // namespace
}  // namespace docs_test
