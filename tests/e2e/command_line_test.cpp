// The command line: help, option errors, mode choice and exit statuses.
#include <gtest/gtest.h>

#include "expected_text.h"
#include "run_tool.h"
#include "support/plugin_image.h"

namespace e2e {
namespace {

// The options description as the option library renders it: its caption,
// then one line per option in declaration order, then an empty line.
const std::string kHelp =
    "Command-line Options:\n"
    "  -h [ --help ]          Print help\n"
    "  -f [ --vhdx-file ] arg Path to the plugin vhdx file\n"
    "  -p [ --vhdx-path ] arg Path to the plugin vhdx directory\n";

const std::string kPleaseSpecify = "Please specify a VHDX path or file\n";

// The folder /nonexistent is missing, so the open fails on the way to the file.
std::string MissingImageLines() { return Corrupt(OpenFailed(Failure::kNoSuchFolder, "/nonexistent/image.vhdx")); }

struct CommandLineCase {
  const char* what;
  std::vector<std::string> arguments;
  std::string out;
  int status;
};

TEST(CommandLine, HelpOptionErrorsAndMissingPaths) {
  const CommandLineCase cases[] = {
      {"no argument", {}, kHelp + "\n", 1},
      {"help", {"-h"}, kHelp + "\n", 0},
      {"long help", {"--help"}, kHelp + "\n", 0},
      {"help with an image", {"-h", "-f", "/nonexistent/image.vhdx"}, kHelp + "\n", 0},
      {"undeclared option",
       {"--bogus", "-f", "/nonexistent/image.vhdx"},
       "unrecognised option '--bogus'\n" + kHelp + kPleaseSpecify,
       1},
      {"undeclared short option", {"-x"}, "unrecognised option '-x'\n" + kHelp + kPleaseSpecify, 1},
      {"image given twice",
       {"-f", "a.vhdx", "-f", "b.vhdx"},
       "option '--vhdx-file' cannot be specified more than once\n" + kHelp + kPleaseSpecify,
       1},
      {"missing value",
       {"-f"},
       "the required argument for option '--vhdx-file' is missing\n" + kHelp + kPleaseSpecify,
       1},
      {"both values empty", {"-f", "", "-p", ""}, kPleaseSpecify, 1},
      {"a path without its option", {"image.vhdx"}, kPleaseSpecify, 1},
  };
  for (const CommandLineCase& c : cases) {
    const ToolRun run = RunTool(c.arguments);
    EXPECT_EQ(run.out, c.out) << c.what;
    EXPECT_EQ(run.status, c.status) << c.what;
    EXPECT_EQ(run.err, "") << c.what;
  }
}

TEST(CommandLine, MissingImageIsReportedAndTheRunStillSucceeds) {
  const ToolRun run = RunTool({"-f", "/nonexistent/image.vhdx"});
  EXPECT_EQ(run.out, MissingImageLines());
  EXPECT_EQ(run.status, 0);
}

TEST(CommandLine, EmptyDirectoryPathLeadsToSingleFileMode) {
  const ToolRun run = RunTool({"-p", "", "-f", "/nonexistent/image.vhdx"});
  EXPECT_EQ(run.out, MissingImageLines());
  EXPECT_EQ(run.status, 0);
}

TEST(CommandLine, DirectoryModeWinsOverAnImagePath) {
  ScratchDirectory scratch;
  const ToolRun run = RunTool({"-f", "/nonexistent/image.vhdx", "-p", scratch.path().string()});
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.status, 0);
}

}  // namespace
}  // namespace e2e
