// Many images in one call: image paths after the options, a repeated -f,
// --files-from (one path per line) and --files0-from (paths ended by NUL),
// "-" for standard input, and all of them combined. The lines come in the
// order the images are given, at every -j. A list that cannot be read, and
// an empty name in one, get one line on standard error, no object, and
// status 3.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "json_run.h"
#include "support/plugin_image.h"
#include "support/scratch_directory.h"

namespace json_test {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using testsupport::ImageDescription;
using testsupport::PluginImage;
using testsupport::ProgramRun;
using testsupport::ScratchDirectory;

void WriteFile(const fs::path& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

// "path verdict" of each object, in order.
std::vector<std::string> PathsAndVerdicts(const ProgramRun& run) {
  std::vector<std::string> lines;
  for (const json& object : JsonLines(run.out)) {
    lines.push_back(object.value("path", "(no path)") + " " + object.value("verdict", "(no verdict)"));
  }
  return lines;
}

testsupport::RunLimits WithInput(const fs::path& file) {
  testsupport::RunLimits limits;
  limits.input = file.string();
  return limits;
}

// Four images named in an order that is not the folder's: c.vhdx (sound),
// a.vhdx (sound), gone.vhdx (missing: unreadable), b.vhdx (damaged).
class ImageLists : public testing::Test {
 protected:
  void SetUp() override {
    PluginImage::Build(ImageDescription{}).WriteTo(c_);
    PluginImage::Build(ImageDescription{}).WriteTo(a_);
    ImageDescription damaged;
    damaged.signature = "vhdxfilz";
    PluginImage::Build(damaged).WriteTo(b_);
  }

  std::vector<std::string> Names() const { return {c_, a_, gone_, b_}; }
  std::vector<std::string> Expected() const {
    return {c_ + " sound", a_ + " sound", gone_ + " unreadable", b_ + " corrupt"};
  }

  ScratchDirectory scratch_;
  const std::string c_ = scratch_ / "c.vhdx";
  const std::string a_ = scratch_ / "a.vhdx";
  const std::string gone_ = scratch_ / "gone.vhdx";
  const std::string b_ = scratch_ / "b.vhdx";
};

TEST_F(ImageLists, EveryFormWritesTheSameLinesInTheGivenOrderAtEveryJobs) {
  const fs::path lines = scratch_.path() / "lines.txt";
  WriteFile(lines, c_ + "\n" + a_ + "\n" + gone_ + "\n" + b_ + "\n");
  const fs::path nuls = scratch_.path() / "nuls.bin";
  WriteFile(nuls, c_ + '\0' + a_ + '\0' + gone_ + '\0' + b_ + '\0');
  const fs::path oneLine = scratch_.path() / "gone.txt";
  WriteFile(oneLine, gone_ + "\n");
  const fs::path oneNul = scratch_.path() / "b.bin";
  WriteFile(oneNul, b_ + '\0');

  struct Form {
    const char* what;
    std::vector<std::string> arguments;
    fs::path input;
  };
  const Form forms[] = {
      {"paths", Names(), {}},
      {"-f", {"-f", c_, "-f", a_, "-f", gone_, "-f", b_}, {}},
      {"--files-from -", {"--files-from", "-"}, lines},
      {"--files0-from -", {"--files0-from", "-"}, nuls},
      {"--files-from FILE", {"--files-from", lines.string()}, {}},
      {"--files0-from FILE", {"--files0-from", nuls.string()}, {}},
      {"combined", {c_, "-f", a_, "--files-from", oneLine.string(), "--files0-from", oneNul.string()}, {}},
  };
  std::string first;
  for (const Form& form : forms) {
    for (const char* jobs : {"1", "8"}) {
      SCOPED_TRACE(std::string(form.what) + ", -j " + jobs);
      std::vector<std::string> arguments = {"-j", jobs};
      arguments.insert(arguments.end(), form.arguments.begin(), form.arguments.end());
      const ProgramRun run = RunJson(arguments, WithInput(form.input));
      EXPECT_EQ(PathsAndVerdicts(run), Expected());
      EXPECT_EQ(run.status, kImageNotSound);
      EXPECT_EQ(run.err, "");
      // Byte for byte the same lines, whatever the form and the jobs.
      if (first.empty()) first = run.out;
      EXPECT_EQ(run.out, first);
    }
  }
}

// One CR before a line's end is dropped (a list written on Windows), and the
// last line needs no end. With NULs, a name may hold a line end.
TEST_F(ImageLists, LineEndsOfAListOfLinesAndNamesThatHoldLineEnds) {
  const fs::path crlf = scratch_.path() / "crlf.txt";
  WriteFile(crlf, c_ + "\r\n" + a_);
  const ProgramRun lines = RunJson({"--files-from", crlf.string()});
  EXPECT_EQ(PathsAndVerdicts(lines), (std::vector<std::string>{c_ + " sound", a_ + " sound"}));
  EXPECT_EQ(lines.status, kAllSound);
  EXPECT_EQ(lines.err, "");

  if (WindowsJsonProgramUnderTest()) return;  // Windows names hold no line end
  const std::string odd = scratch_ / "two\nlines\r.vhdx";
  PluginImage::Build(ImageDescription{}).WriteTo(odd);
  const fs::path nuls = scratch_.path() / "odd.bin";
  WriteFile(nuls, odd + '\0' + a_);
  const ProgramRun run = RunJson({"--files0-from", nuls.string()});
  EXPECT_EQ(PathsAndVerdicts(run), (std::vector<std::string>{odd + " sound", a_ + " sound"}));
  EXPECT_EQ(run.status, kAllSound);
}

// A list that cannot be read: its line on standard error, no object for it,
// status 3, and the images named around it are still inspected.
TEST_F(ImageLists, AListThatCannotBeReadGetsOneLineAndStatusThree) {
  const std::string missing = scratch_ / "missing.txt";
  const std::string folder = scratch_.path().string();
  struct Case {
    std::string list;
    std::string cause;
  };
  const Case cases[] = {
      {missing, "No such file or directory"},
      {folder, "Is a directory"},
  };
  for (const Case& c : cases) {
    if (WindowsJsonProgramUnderTest() && c.list == folder) continue;  // the C runtime's words differ
    for (const char* option : {"--files-from", "--files0-from"}) {
      SCOPED_TRACE(std::string(option) + " " + c.list);
      const ProgramRun alone = RunJson({option, c.list});
      EXPECT_EQ(alone.out, "");
      EXPECT_EQ(alone.err, "vhdx-inspect-json: cannot read the list " + c.list + ": " + c.cause + "\n");
      EXPECT_EQ(alone.status, kFolderNotScanned);

      const ProgramRun around = RunJson({c_, option, c.list, a_});
      EXPECT_EQ(PathsAndVerdicts(around), (std::vector<std::string>{c_ + " sound", a_ + " sound"}));
      EXPECT_EQ(around.err, alone.err);
      EXPECT_EQ(around.status, kFolderNotScanned);
    }
  }
}

// An empty name (an empty line, a line of a lone CR, two NULs in a row)
// names no file: one line on standard error, no object, status 3; the list
// goes on.
TEST_F(ImageLists, AnEmptyNameGetsOneLineAndStatusThree) {
  struct Case {
    const char* option;
    std::string list;
    int number;  // of the empty name in the list
  };
  const Case cases[] = {
      {"--files-from", c_ + "\n\n" + a_ + "\n", 2},
      {"--files-from", "\r\n" + c_ + "\n" + a_, 1},
      {"--files0-from", c_ + '\0' + a_ + '\0' + '\0', 3},
      {"--files0-from", c_ + '\0' + '\0' + a_, 2},
  };
  const fs::path list = scratch_.path() / "list";
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.option) + " " + testing::PrintToString(c.list));
    WriteFile(list, c.list);
    const ProgramRun run = RunJson({c.option, "-"}, WithInput(list));
    EXPECT_EQ(PathsAndVerdicts(run), (std::vector<std::string>{c_ + " sound", a_ + " sound"}));
    EXPECT_EQ(run.err, "vhdx-inspect-json: -: name " + std::to_string(c.number) + " is empty\n");
    EXPECT_EQ(run.status, kFolderNotScanned);
  }
}

}  // namespace
}  // namespace json_test
