// File names beyond ASCII. The Linux program takes a name's bytes as given
// and prints them so; the Windows program takes its arguments in the ANSI
// code page (main's argv, CreateFileA), and a scan forms the names it lists
// in that code page too (platform_expectations.h: InProgramCodePage).
//
// A character outside the code page has no narrow form; Windows would put a
// look-alike in its place ("mā" becomes "ma"), so the Windows program refuses
// such a name before opening anything and never reports the look-alike's
// file: a named image gets the failed-open line with status 123
// (ERROR_INVALID_NAME), a named folder the does-not-exist line, each showing
// the name with "?" in place of the character. Each case below puts a sound
// decoy under the look-alike name.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "expected_text.h"
#include "platform_expectations.h"
#include "run_tool.h"
#include "support/plugin_image.h"

namespace e2e {
namespace {

using testsupport::PluginImage;
namespace fs = std::filesystem;

// "ā" (U+0101, UTF-8 C4 81) is outside code page 1252; Windows' best fit for
// it is "a".
const std::string kMacronA = "\xC4\x81";
// ERROR_INVALID_NAME.
constexpr int kInvalidNameStatus = 123;

// The image named, and a decoy under its look-alike name: both sound, of
// different virtual sizes, so that the reports of the two differ.
PluginImage Named() { return PluginImage::Build(WithoutTrailer()); }
PluginImage Decoy() {
  testsupport::ImageDescription d = WithoutTrailer();
  d.virtualDiskSize = 2 * testsupport::kGiB;
  return PluginImage::Build(d);
}

// "é" (U+00E9, UTF-8 C3 A9) is the byte E9 in code page 1252.
TEST(FileNames, NameWithALetterOfTheCodePage) {
  const std::string name = "caf\xC3\xA9.vhdx";
  if (WindowsProgramUnderTest()) {
    ASSERT_EQ(InProgramCodePage(name), "caf\xE9.vhdx");
  }
  ScratchDirectory scratch;
  const PluginImage image = PluginImage::Build(WithoutTrailer());
  image.WriteTo(scratch / name);

  const ToolRun alone = RunTool({"-f", scratch / name});
  EXPECT_EQ(alone.out, ContainerReport(ReportOf(image, InProgramCodePage(scratch / name))));
  EXPECT_EQ(alone.status, 0);
  EXPECT_EQ(alone.err, "");

  const ToolRun scan = RunTool({"-p", scratch.path().string()});
  EXPECT_EQ(scan.out, ContainerReport(ReportOf(image, InProgramCodePage(ScannedPath(scratch.path().string(), name)))));
  EXPECT_EQ(scan.status, 0);
}

// `-f mā.vhdx` beside a sound `ma.vhdx`, in each form an option's value can
// take: the Windows program refuses the name, the Linux program inspects it.
TEST(FileNames, ImageNameOutsideTheCodePageIsRefusedNotTakenForItsLookAlike) {
  if (WindowsProgramUnderTest()) {
    ASSERT_EQ(InProgramCodePage("m" + kMacronA + ".vhdx"), "m?.vhdx");
  }
  ScratchDirectory scratch;
  const std::string named = scratch / ("m" + kMacronA + ".vhdx");
  const std::string decoy = scratch / "ma.vhdx";
  const PluginImage image = Named();
  image.WriteTo(named);
  Decoy().WriteTo(decoy);

  const std::string expected = WindowsProgramUnderTest()
                                   ? Corrupt("CreateFile failed with status " + std::to_string(kInvalidNameStatus) +
                                             " for file: " + InProgramCodePage(named))
                                   : ContainerReport(ReportOf(image, named));
  const std::vector<std::vector<std::string>> forms = {
      {"-f", named}, {"-f" + named}, {"--vhdx-file=" + named}, {"--vhdx-file", named}};
  for (const std::vector<std::string>& arguments : forms) {
    SCOPED_TRACE(arguments.front());
    const ToolRun run = RunTool(arguments);
    EXPECT_EQ(run.out, expected);
    EXPECT_EQ(run.out.find(decoy), std::string::npos) << "the decoy was reported";
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
  }
}

// `-p mā` beside a folder `ma` that holds a sound image.
TEST(FileNames, FolderNameOutsideTheCodePageIsRefusedNotTakenForItsLookAlike) {
  ScratchDirectory scratch;
  const fs::path named = scratch.path() / ("m" + kMacronA);
  const fs::path decoy = scratch.path() / "ma";
  fs::create_directory(named);
  fs::create_directory(decoy);
  const PluginImage image = Named();
  image.WriteTo((named / "image.vhdx").string());
  Decoy().WriteTo((decoy / "image.vhdx").string());

  const ToolRun run = RunTool({"-p", named.string()});
  if (WindowsProgramUnderTest()) {
    EXPECT_EQ(run.out, "VHDX directory " + InProgramCodePage(named.string()) + " does not exist.\n");
  } else {
    EXPECT_EQ(run.out, ContainerReport(ReportOf(image, ScannedPath(named.string(), "image.vhdx"))));
  }
  EXPECT_EQ(run.out.find(decoy.string()), std::string::npos) << "the decoy folder was scanned";
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
}

// A scanned folder with `mā.vhdx` and a name without any look-alike beside a
// sound `ma.vhdx`: the Windows program reports the first two as names it
// cannot open, goes on, and reports `ma.vhdx` once, under its own name.
TEST(FileNames, ScannedNamesOutsideTheCodePageAreRefusedAndTheScanGoesOn) {
  ScratchDirectory scratch;
  const std::string folder = scratch.path().string();
  const std::string macron = "m" + kMacronA + ".vhdx";
  const std::string noLookAlike = "\xE6\x97\xA5.vhdx";  // U+65E5
  const PluginImage image = Named();
  const PluginImage decoy = Decoy();
  image.WriteTo(scratch / macron);
  image.WriteTo(scratch / noLookAlike);
  decoy.WriteTo(scratch / "ma.vhdx");

  std::string expected;
  for (const std::string& name : NamesInListingOrder(scratch.path())) {
    const std::string path = InProgramCodePage(ScannedPath(folder, name));
    if (name == "ma.vhdx") {
      expected += ContainerReport(ReportOf(decoy, path));
    } else if (WindowsProgramUnderTest()) {
      expected += Corrupt("CreateFile failed with status " + std::to_string(kInvalidNameStatus) + " for file: " + path);
    } else {
      expected += ContainerReport(ReportOf(image, path));
    }
  }
  const ToolRun run = RunTool({"-p", folder});
  EXPECT_EQ(run.out, expected);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
}

}  // namespace
}  // namespace e2e
