// File names beyond ASCII, for both programs. On Linux a name is its bytes,
// taken as given and printed so.
//
// On Windows the text program takes its arguments in the ANSI code page
// (main's argv, CreateFileA), and its folder walk forms the names it lists in
// that code page too (e2e::InProgramCodePage). A character outside the code
// page has no narrow form; Windows would put a look-alike in its place ("mā"
// becomes "ma"), so the text program refuses such a name before opening
// anything and never reports the look-alike's file: a named image is
// reported as an open that failed with status 123 (ERROR_INVALID_NAME), a
// named folder as one that does not exist, each showing the name with "?" in
// place of the character.
//
// vhdx-inspect-json takes every name Windows can hold: its arguments from the
// wide command line, a folder's entries by their UTF-16 names, each file
// opened by its exact name, and its JSON shows the name as UTF-8. Each case
// below puts a sound decoy under the look-alike name.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "both_programs.h"
#include "e2e/expected_text.h"
#include "e2e/platform_expectations.h"
#include "e2e/run_tool.h"
#include "json/json_run.h"
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

// Whether `program` refuses a name outside the code page: the Windows text
// program does.
bool RefusesNamesOutsideTheCodePage(const Program& program) { return e2e::WindowsProgramUnderTest() && !program.json; }

// How `program` names a file whose name is `utf8`: the text program in its
// code page, vhdx-inspect-json by the name itself.
std::string AsNamedBy(const Program& program, const std::string& utf8) {
  return program.json ? utf8 : InProgramCodePage(utf8);
}

// A name the Windows text program refuses, shown as `shown`.
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
                   {SoundImage(image, AsNamedBy(program, scratch / name))});
    ExpectReported(program, program.Run({"-p", scratch.path().string()}),
                   {SoundImage(image, AsNamedBy(program, e2e::ScannedPath(scratch.path().string(), name)))});
  }
}

// `-f mā.vhdx` beside a sound `ma.vhdx`, in each form an option's value can
// take: the Windows text program refuses the name, vhdx-inspect-json and the
// Linux programs inspect it.
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

  for (const Program& program : BothPrograms()) {
    const Reported expected =
        RefusesNamesOutsideTheCodePage(program) ? Refused(InProgramCodePage(named)) : SoundImage(image, named);
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

  for (const Program& program : BothPrograms()) {
    const Reported expected = RefusesNamesOutsideTheCodePage(program)
                                  ? Problem("VHDX directory " + InProgramCodePage(named.string()) + " does not exist.")
                                  : SoundImage(image, e2e::ScannedPath(named.string(), "image.vhdx"));
    const testsupport::ProgramRun run = program.Run({"-p", named.string()});
    ExpectReported(program, run, {expected});
    EXPECT_EQ(run.out.find(decoy.string()), std::string::npos) << "the decoy folder was walked";
  }
}

// A walked folder with `mā.vhdx` and a name without any look-alike beside a
// sound `ma.vhdx`: the Windows text program reports the first two as names
// it cannot open, goes on, and reports `ma.vhdx` once, under its own name;
// vhdx-inspect-json inspects all three, each by its own name.
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

  for (const Program& program : BothPrograms()) {
    std::vector<Reported> expected;
    for (const std::string& name : e2e::NamesInListingOrder(scratch.path())) {
      const std::string path = AsNamedBy(program, e2e::ScannedPath(folder, name));
      if (name == "ma.vhdx") {
        expected.push_back(SoundImage(decoy, path));
      } else if (RefusesNamesOutsideTheCodePage(program)) {
        expected.push_back(Refused(path));
      } else {
        expected.push_back(SoundImage(image, path));
      }
    }
    ExpectReported(program, program.Run({"-p", folder}), expected);
  }
}

// Names in Japanese, Greek and Cyrillic and with an emoji outside the Basic
// Multilingual Plane, each with a header checksum broken, beside a sound
// `ma.vhdx` decoy: vhdx-inspect-json opens each by its own name, given as an
// argument, as a list's line and by a folder walk, and shows the name.
TEST(FileNames, TheJsonProgramOpensEveryNameByItself) {
  const std::vector<std::string> names = {"\xE3\x83\x87\xE3\x82\xA3\xE3\x82\xB9\xE3\x82\xAF.vhdx",  // ディスク
                                          "\xCE\xB4\xCE\xAF\xCF\x83\xCE\xBA\xCE\xBF\xCF\x82.vhdx",  // δίσκος
                                          "\xD0\xB4\xD0\xB8\xD1\x81\xD0\xBA.vhdx",                  // диск
                                          "\xF0\x9F\x92\xBE.vhdx",                                  // U+1F4BE
                                          "m" + kMacronA + ".vhdx"};
  ScratchDirectory scratch;
  const std::string folder = scratch.path().string();
  PluginImage broken = Named();
  broken.Put8(broken.layout().header(2) + 4095, 0x01);  // the current header's checksum no longer fits
  for (const std::string& name : names) broken.WriteTo(scratch / name);
  Decoy().WriteTo(scratch / "ma.vhdx");
  const Program& json = BothPrograms().back();

  std::vector<std::string> arguments;
  std::string list;
  for (const std::string& name : names) {
    arguments.push_back(scratch / name);
    list += scratch / name;
    list += '\n';
  }
  const testsupport::ProgramRun byArguments = json.Run(arguments);
  const std::string listFile = scratch / "list.txt";
  std::ofstream(listFile, std::ios::binary) << list;
  const testsupport::ProgramRun byList = json.Run({"--files-from", listFile});
  for (const testsupport::ProgramRun* run : {&byArguments, &byList}) {
    const std::vector<nlohmann::json> objects = json_test::JsonLines(run->out);
    ASSERT_EQ(objects.size(), names.size()) << run->out << run->err;
    for (std::size_t i = 0; i < names.size(); ++i) {
      EXPECT_EQ(objects[i]["path"], AsJsonShowsIt(scratch / names[i]));
      EXPECT_EQ(objects[i]["verdict"], "corrupt") << names[i];
      EXPECT_EQ(objects[i]["failure"]["check"], "header.crc") << names[i];
    }
    EXPECT_EQ(run->status, json_test::kImageNotSound);
  }

  const testsupport::ProgramRun walked = json.Run({"-p", folder});
  std::size_t images = 0;
  for (const nlohmann::json& object : json_test::JsonLines(walked.out)) {
    ++images;
    const bool decoy = object["path"] == AsJsonShowsIt(e2e::ScannedPath(folder, "ma.vhdx"));
    EXPECT_EQ(object["verdict"], decoy ? "sound" : "corrupt") << object["path"];
  }
  EXPECT_EQ(images, names.size() + 1) << walked.out << walked.err;
}

}  // namespace
}  // namespace both_programs
