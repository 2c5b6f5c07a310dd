// Names outside the Windows program's code page: a name whose narrow form is
// a look-alike of another file's (`mā.vhdx` beside `ma.vhdx`) is refused
// before anything is opened, as an open that failed with status 123, and
// never reported as the look-alike; a folder so named does not exist. On
// Linux every name is its bytes, and the image named is inspected.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "e2e/platform_expectations.h"
#include "json_run.h"
#include "support/plugin_image.h"
#include "support/scratch_directory.h"

namespace json_test {
namespace {

namespace fs = std::filesystem;

const std::string kMacronA = "\xC4\x81";  // ā, outside code page 1252
constexpr int kInvalidNameStatus = 123;

// The decoy: sound, so that a report of it could pass for the named image's.
void WriteDecoy(const std::string& path) { testsupport::PluginImage::Build({}).WriteTo(path); }

// The named image: a header checksum broken, so that its own report differs.
void WriteNamed(const std::string& path) {
  testsupport::PluginImage image = testsupport::PluginImage::Build({});
  image.Put8(image.layout().header(2) + 4095, 0x01);
  image.WriteTo(path);
}

void ExpectRefused(const nlohmann::json& object, const std::string& named) {
  const std::string shown = e2e::InProgramCodePage(named);  // "?" for ā
  EXPECT_EQ(object["path"], shown);
  EXPECT_EQ(object["verdict"], "unreadable");
  EXPECT_EQ(object["failure"]["check"], "image.open");
  EXPECT_EQ(object["failure"]["system_status"], kInvalidNameStatus);
  EXPECT_EQ(object["failure"]["message"],
            "CreateFile failed with status " + std::to_string(kInvalidNameStatus) + " for file: " + shown);
}

TEST(JsonNarrowNames, AnImageNameOutsideTheCodePageIsRefusedNotTakenForItsLookAlike) {
  testsupport::ScratchDirectory scratch;
  const std::string named = scratch / ("m" + kMacronA + ".vhdx");
  WriteNamed(named);
  WriteDecoy(scratch / "ma.vhdx");
  const testsupport::ProgramRun run = RunJson({"-f", named});
  const nlohmann::json object = OnlyObject(run);
  EXPECT_EQ(run.status, kImageNotSound);
  if (WindowsJsonProgramUnderTest()) {
    ExpectRefused(object, named);
  } else {
    EXPECT_EQ(object["path"], named);
    EXPECT_EQ(object["failure"]["check"], "header.crc");
  }
}

TEST(JsonNarrowNames, AFolderNameOutsideTheCodePageIsRefusedNotTakenForItsLookAlike) {
  testsupport::ScratchDirectory scratch;
  const fs::path named = scratch.path() / ("m" + kMacronA);
  const fs::path decoy = scratch.path() / "ma";
  fs::create_directory(named);
  fs::create_directory(decoy);
  WriteNamed((named / "image.vhdx").string());
  WriteDecoy((decoy / "image.vhdx").string());
  const testsupport::ProgramRun run = RunJson({"-p", named.string()});
  EXPECT_EQ(run.out.find("\"ma"), std::string::npos) << "the decoy folder was scanned";
  if (WindowsJsonProgramUnderTest()) {
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err,
              "vhdx-inspect-json: VHDX directory " + e2e::InProgramCodePage(named.string()) + " does not exist.\n");
    EXPECT_EQ(run.status, kFolderNotScanned);
  } else {
    EXPECT_EQ(OnlyObject(run)["failure"]["check"], "header.crc");
    EXPECT_EQ(run.status, kImageNotSound);
  }
}

TEST(JsonNarrowNames, AScannedNameOutsideTheCodePageIsRefusedAndTheScanGoesOn) {
  testsupport::ScratchDirectory scratch;
  const fs::path folder = scratch.path() / "images";
  fs::create_directory(folder);
  const std::string named = (folder / ("m" + kMacronA + ".vhdx")).string();
  WriteNamed(named);
  WriteDecoy((folder / "ma.vhdx").string());
  const testsupport::ProgramRun run = RunJson({"-p", folder.string(), "-j", "1"});
  const std::vector<nlohmann::json> objects = JsonLines(run.out);
  ASSERT_EQ(objects.size(), 2u) << run.out;
  int decoys = 0;
  for (const nlohmann::json& object : objects) {
    if (object["path"] == e2e::ScannedPath(folder.string(), "ma.vhdx")) {
      ++decoys;
      EXPECT_EQ(object["verdict"], "sound");
    } else if (WindowsJsonProgramUnderTest()) {
      ExpectRefused(object, e2e::ScannedPath(folder.string(), "m" + kMacronA + ".vhdx"));
    } else {
      EXPECT_EQ(object["failure"]["check"], "header.crc");
    }
  }
  EXPECT_EQ(decoys, 1) << "the decoy is its own entry, reported once";
}

}  // namespace
}  // namespace json_test
