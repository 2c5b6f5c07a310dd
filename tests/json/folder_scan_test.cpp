// The JSON program's folder scan, command line and exit statuses: one line
// per image in listing order (the folders below with -r, where they are
// met), nothing on standard output for a folder, one line on standard error
// for what cannot be scanned, and a status that says what was found. (A
// link to a folder, not followed with -r: tests/common/folder_walk_test.cpp;
// -j: parallel_scan_test.cpp.)
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <string>
#include <vector>

#include "e2e/platform_expectations.h"
#include "image_tree.h"
#include "json_run.h"
#include "support/scratch_directory.h"
#include "support/unprivileged.h"

namespace json_test {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using testsupport::ProgramRun;
using testsupport::ScratchDirectory;

bool EndsWith(const std::string& text, const std::string& ending) {
  return text.size() >= ending.size() && text.compare(text.size() - ending.size(), ending.size(), ending) == 0;
}

// Whether the JSON program's walk takes `name`: ".vhdx" in any case.
bool NamedLikeAnImage(std::string name) {
  for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return EndsWith(name, ".vhdx");
}

std::vector<std::string> PathsOf(const std::vector<json>& objects) {
  std::vector<std::string> paths;
  for (const json& object : objects) paths.push_back(object["path"]);
  return paths;
}

// The paths the scan of `folder` must report, as the program names them:
// its image entries in listing order and, with `recursive`, those of the
// folders below where they are met.
void ExpectedPaths(const fs::path& folder, const std::string& given, bool recursive, std::vector<std::string>& paths) {
  for (const std::string& name : e2e::NamesInListingOrder(folder)) {
    const fs::path entry = folder / name;
    const std::string named = e2e::ScannedPath(given, name);
    if (fs::is_directory(fs::symlink_status(entry))) {
      if (recursive) ExpectedPaths(entry, named, true, paths);
    } else if (!fs::is_directory(entry) && NamedLikeAnImage(name)) {
      paths.push_back(named);
    }
  }
}

TEST(JsonFolderScan, OneLinePerImageInListingOrder) {
  ScratchDirectory scratch;
  const fs::path root = WriteTree(scratch);
  for (const bool recursive : {false, true}) {
    SCOPED_TRACE(recursive ? "-r" : "without -r");
    std::vector<std::string> arguments = {"-p", root.string()};
    if (recursive) arguments.push_back("-r");
    const ProgramRun run = RunJson(arguments);
    std::vector<std::string> expected;
    ExpectedPaths(root, root.string(), recursive, expected);
    ASSERT_EQ(expected.size(), recursive ? 6u : 4u);
    const std::vector<json> objects = JsonLines(run.out);
    EXPECT_EQ(PathsOf(objects), expected);
    for (const json& object : objects) {
      const bool damaged = EndsWith(object["path"], "b.vhdx");
      EXPECT_EQ(object["verdict"], damaged ? "corrupt" : "sound") << object["path"];
    }
    EXPECT_EQ(run.status, kImageNotSound);  // b.vhdx
    EXPECT_EQ(run.err, "");
  }
}

TEST(JsonFolderScan, AllSoundAndEmptyFoldersEndWithStatusZero) {
  ScratchDirectory scratch;
  fs::create_directories(scratch.path() / "empty");
  fs::create_directories(scratch.path() / "sound" / "below");
  WriteSound(scratch.path() / "sound" / "one.vhdx");
  WriteSound(scratch.path() / "sound" / "below" / "two.vhdx");
  struct Case {
    std::vector<std::string> arguments;
    std::size_t lines;
  };
  const Case cases[] = {
      {{"-p", scratch / "empty"}, 0},       {{"-p", scratch / "empty", "-r"}, 0},    {{"-p", scratch / "sound"}, 1},
      {{"-p", scratch / "sound", "-r"}, 2}, {{"-f", scratch / "sound/one.vhdx"}, 1},
  };
  for (const Case& c : cases) {
    const ProgramRun run = RunJson(c.arguments);
    EXPECT_EQ(run.status, kAllSound) << c.arguments[1] << run.err;
    EXPECT_EQ(JsonLines(run.out).size(), c.lines) << c.arguments[1];
    EXPECT_EQ(run.err, "");
  }
}

// A folder below that cannot be listed: its line on standard error, the
// images around it still inspected, and the scan's status says it was not
// complete.
TEST(JsonFolderScan, AFolderBelowThatCannotBeListed) {
  if (WindowsJsonProgramUnderTest()) GTEST_SKIP() << e2e::kPermissionBits;
  if (!testsupport::UnprivilegedAccount()) GTEST_SKIP() << "no account without root's rights";
  ScratchDirectory scratch;
  const fs::path root = scratch.path() / "tree";
  fs::create_directories(root / "closed");
  WriteSound(root / "closed" / "hidden.vhdx");
  WriteSound(root / "open.vhdx");
  testsupport::RunLimits limits;
  limits.as = testsupport::UnprivilegedAccount();
  testsupport::HandOver(scratch.path(), *limits.as);
  ASSERT_EQ(::chmod((root / "closed").c_str(), 0), 0);
  const ProgramRun run = RunJson({"-p", root.string(), "-r"}, limits);
  ::chmod((root / "closed").c_str(), 0755);
  EXPECT_EQ(run.status, kFolderNotScanned);
  EXPECT_EQ(PathsOf(JsonLines(run.out)), std::vector<std::string>{(root / "open.vhdx").string()});
  EXPECT_EQ(run.err, "vhdx-inspect-json: VHDX directory " + (root / "closed").string() +
                         " cannot be listed: Permission denied\n");
}

// A file name whose bytes are not UTF-8 (Linux) comes out with U+FFFD; a name
// in the Windows program's ANSI code page comes out as UTF-8.
TEST(JsonFolderScan, FileNamesComeOutAsUtf8) {
  ScratchDirectory scratch;
  const fs::path root = scratch.path() / "names";
  fs::create_directories(root);
  const std::string name = WindowsJsonProgramUnderTest() ? "caf\xC3\xA9.vhdx" : "bad\xFF\xC3.vhdx";
  WriteSound(root / name);
  const std::string expected = WithReplacementCharacters(e2e::ScannedPath(root.string(), name));
  const ProgramRun scan = RunJson({"-p", root.string()});
  EXPECT_EQ(PathsOf(JsonLines(scan.out)), std::vector<std::string>{expected});
  EXPECT_EQ(scan.status, kAllSound);

  // The failure's message holds the path too.
  const std::string missing = (root / ("gone" + name)).string();
  const json object = OnlyObject(RunJson({"-f", missing}));
  EXPECT_EQ(object["path"], WithReplacementCharacters(missing));
  EXPECT_NE(object["failure"]["message"].get<std::string>().find(WithReplacementCharacters(missing)), std::string::npos)
      << object;
}

TEST(JsonCommandLine, ErrorsEndWithStatusOneAndHelpWithZero) {
  ScratchDirectory scratch;
  WriteSound(scratch.path() / "a.vhdx");
  const std::vector<std::vector<std::string>> errors = {
      {},
      {"-x"},
      {"-f"},
      {"-r"},
      {"-f", scratch / "a.vhdx", "-r"},
      {"-f", scratch / "a.vhdx", "-p", scratch.path().string()},
      {"-p", scratch.path().string(), "extra"},
      {"--files-from"},
      {"--files0-from"},
      {"-p", scratch.path().string(), "--files-from", "-"},
      {"-p", scratch.path().string(), "--files0-from", "-"},
      {"-p", scratch.path().string(), "-p", scratch.path().string()},
      {"--files-from", "-", "-r"},
      {"-p", scratch.path().string(), "-j", "0"},
      {"-p", scratch.path().string(), "-j", "-1"},
      {"-p", scratch.path().string(), "-j", "two"},
      {"-p", scratch.path().string(), "-j", "257"},
  };
  for (const std::vector<std::string>& arguments : errors) {
    const ProgramRun run = RunJson(arguments);
    EXPECT_EQ(run.status, kCommandLineError) << testing::PrintToString(arguments);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err.rfind("vhdx-inspect-json: ", 0), 0u) << run.err;
  }
  const ProgramRun help = RunJson({"-h"});
  EXPECT_EQ(help.status, kAllSound);
  for (const char* option : {"-f", "-p", "-r", "-j", "-h", "--files-from", "--files0-from"}) {
    EXPECT_NE(help.out.find(option), std::string::npos) << option;
  }
}

}  // namespace
}  // namespace json_test
