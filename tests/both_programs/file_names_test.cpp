// File names beyond ASCII, for both programs. On Linux a name is its bytes,
// taken as given and printed so; the Windows programs take their arguments
// in the ANSI code page (main's argv, CreateFileA), and a folder walk forms
// the names it lists in that code page too (e2e::InProgramCodePage).
//
// A character outside the code page has no narrow form; Windows would put a
// look-alike in its place ("mā" becomes "ma"), so the Windows programs refuse
// such a name before opening anything and never report the look-alike's
// file: a named image is reported as an open that failed with status 123
// (ERROR_INVALID_NAME), a named folder as one that does not exist, each
// showing the name with "?" in place of the character. Each case below puts a
// sound decoy under the look-alike name.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "both_programs.h"
#include "e2e/expected_text.h"
#include "e2e/platform_expectations.h"
#include "e2e/run_tool.h"
#include "support/plugin_image.h"
#include "support/scratch_directory.h"

namespace both_programs {
namespace {

using e2e::InProgramCodePage;
using testsupport::PluginImage;
using testsupport::ScratchDirectory;
namespace fs = std::filesystem;

// "ā" (U+0101, UTF-8 C4 81) is outside code page 1252; Windows' best fit for
// it is "a".
const std::string kMacronA = "\xC4\x81";
// ERROR_INVALID_NAME.
constexpr int kInvalidNameStatus = 123;

// The image named, and a decoy under its look-alike name: both sound, of
// different virtual sizes, so that the reports of the two differ.
PluginImage Named() { return PluginImage::Build(e2e::WithoutTrailer()); }
PluginImage Decoy() {
  testsupport::ImageDescription d = e2e::WithoutTrailer();
  d.virtualDiskSize = 2 * testsupport::kGiB;
  return PluginImage::Build(d);
}

// What a program reports of `image` under `path` (as it names it).
Reported SoundImage(const PluginImage& image, const std::string& path) {
  return Image(path, e2e::ContainerReport(e2e::ReportOf(image, path)));
}

// A name the Windows programs refuse, shown as `shown`.
Reported Refused(const std::string& shown) {
  return Image(
      shown,
      e2e::Corrupt("CreateFile failed with status " + std::to_string(kInvalidNameStatus) + " for file: " + shown),
      "unreadable");
}

// "é" (U+00E9, UTF-8 C3 A9) is the byte E9 in code page 1252.
TEST(FileNames, ANameWithALetterOfTheCodePage) {
  const std::string name = "caf\xC3\xA9.vhdx";
  if (e2e::WindowsProgramUnderTest()) {
    ASSERT_EQ(InProgramCodePage(name), "caf\xE9.vhdx");
  }
  ScratchDirectory scratch;
  const PluginImage image = PluginImage::Build(e2e::WithoutTrailer());
  image.WriteTo(scratch / name);
  for (const Program& program : BothPrograms()) {
    ExpectReported(program, program.Run({"-f", scratch / name}),
                   {SoundImage(image, InProgramCodePage(scratch / name))});
    ExpectReported(program, program.Run({"-p", scratch.path().string()}),
                   {SoundImage(image, InProgramCodePage(e2e::ScannedPath(scratch.path().string(), name)))});
  }
}

// `-f mā.vhdx` beside a sound `ma.vhdx`, in each form an option's value can
// take: the Windows programs refuse the name, the Linux programs inspect it.
TEST(FileNames, AnImageNameOutsideTheCodePageIsRefusedNotTakenForItsLookAlike) {
  if (e2e::WindowsProgramUnderTest()) {
    ASSERT_EQ(InProgramCodePage("m" + kMacronA + ".vhdx"), "m?.vhdx");
  }
  ScratchDirectory scratch;
  const std::string named = scratch / ("m" + kMacronA + ".vhdx");
  const std::string decoy = scratch / "ma.vhdx";
  const PluginImage image = Named();
  image.WriteTo(named);
  Decoy().WriteTo(decoy);

  const Reported expected =
      e2e::WindowsProgramUnderTest() ? Refused(InProgramCodePage(named)) : SoundImage(image, named);
  for (const Program& program : BothPrograms()) {
    std::vector<std::vector<std::string>> forms = {
        {"-f", named}, {"-f" + named}, {"--vhdx-file=" + named}, {"--vhdx-file", named}};
    if (program.json) forms.push_back({named});  // an image path without its option
    for (const std::vector<std::string>& arguments : forms) {
      SCOPED_TRACE(arguments.front());
      const testsupport::ProgramRun run = program.Run(arguments);
      ExpectReported(program, run, {expected});
      EXPECT_EQ(run.out.find(decoy), std::string::npos) << "the decoy was reported";
    }
  }
}

// `-p mā` beside a folder `ma` that holds a sound image.
TEST(FileNames, AFolderNameOutsideTheCodePageIsRefusedNotTakenForItsLookAlike) {
  ScratchDirectory scratch;
  const fs::path named = scratch.path() / ("m" + kMacronA);
  const fs::path decoy = scratch.path() / "ma";
  fs::create_directory(named);
  fs::create_directory(decoy);
  const PluginImage image = Named();
  image.WriteTo((named / "image.vhdx").string());
  Decoy().WriteTo((decoy / "image.vhdx").string());

  const Reported expected = e2e::WindowsProgramUnderTest()
                                ? Problem("VHDX directory " + InProgramCodePage(named.string()) + " does not exist.")
                                : SoundImage(image, e2e::ScannedPath(named.string(), "image.vhdx"));
  for (const Program& program : BothPrograms()) {
    const testsupport::ProgramRun run = program.Run({"-p", named.string()});
    ExpectReported(program, run, {expected});
    EXPECT_EQ(run.out.find(decoy.string()), std::string::npos) << "the decoy folder was walked";
  }
}

// A walked folder with `mā.vhdx` and a name without any look-alike beside a
// sound `ma.vhdx`: the Windows programs report the first two as names they
// cannot open, go on, and report `ma.vhdx` once, under its own name.
TEST(FileNames, WalkedNamesOutsideTheCodePageAreRefusedAndTheWalkGoesOn) {
  ScratchDirectory scratch;
  const std::string folder = scratch.path().string();
  const std::string macron = "m" + kMacronA + ".vhdx";
  const std::string noLookAlike = "\xE6\x97\xA5.vhdx";  // U+65E5
  const PluginImage image = Named();
  const PluginImage decoy = Decoy();
  image.WriteTo(scratch / macron);
  image.WriteTo(scratch / noLookAlike);
  decoy.WriteTo(scratch / "ma.vhdx");

  std::vector<Reported> expected;
  for (const std::string& name : e2e::NamesInListingOrder(scratch.path())) {
    const std::string path = InProgramCodePage(e2e::ScannedPath(folder, name));
    if (name == "ma.vhdx") {
      expected.push_back(SoundImage(decoy, path));
    } else if (e2e::WindowsProgramUnderTest()) {
      expected.push_back(Refused(path));
    } else {
      expected.push_back(SoundImage(image, path));
    }
  }
  for (const Program& program : BothPrograms()) {
    ExpectReported(program, program.Run({"-p", folder}), expected);
  }
}

}  // namespace
}  // namespace both_programs
