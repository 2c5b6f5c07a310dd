// Valid plugin images from the test support, read by vhdx-inspect and by two
// independent VHDX readers: vhdiinfo at 512- and 4096-byte sectors, qemu-img
// at 512 (qemu-img 7.2 refuses 4096-byte logical sectors as unsupported).
// All of them must accept the image, and the container values that
// vhdx-inspect reports must be the ones the other readers find.
#include <gtest/gtest.h>

#include <cctype>
#include <functional>
#include <ostream>
#include <regex>
#include <string>
#include <vector>

#include "programs.h"
#include "report.h"
#include "support/plugin_image.h"

namespace agreement {
namespace {

using namespace testsupport;

struct ValidImage {
  const char* name;
  std::function<void(ImageDescription&)> describe;
};

const std::vector<ValidImage> kValidImages = {
    {"sample", [](ImageDescription&) {}},
    {"512-byte physical sectors", [](ImageDescription& d) { d.physicalSectorSize = 512; }},
    {"4096-byte sectors", [](ImageDescription& d) { d.logicalSectorSize = 4096; }},
    {"4096-byte sectors, 8 GiB",
     [](ImageDescription& d) {
       d.logicalSectorSize = 4096;
       d.virtualDiskSize = 8 * kGiB;
     }},
    {"no GPT trailer", [](ImageDescription& d) { d.gptTrailer = false; }},
    {"no volumes", [](ImageDescription& d) { d.volumes.clear(); }},
    {"sixteen volumes",
     [](ImageDescription& d) {
       d.volumes.assign(16, Volume{512, 64 * static_cast<std::int64_t>(kMiB), 0, 0, u"D:\\Images\\v.twb"});
     }},
    {"header 1 current",
     [](ImageDescription& d) {
       d.header1SequenceNumber = 9;
       d.header2SequenceNumber = 8;
     }},
    {"100 GiB", [](ImageDescription& d) { d.virtualDiskSize = 100 * kGiB; }},
};

// Names the case in failure messages.
void PrintTo(const ValidImage& value, std::ostream* out) { *out << value.name; }

// The number in the first match of `pattern`'s group 1, or -1.
long long FirstNumber(const std::string& text, const std::string& pattern) {
  std::smatch match;
  if (!std::regex_search(text, match, std::regex(pattern))) return -1;
  return std::stoll(match[1].str());
}

class ValidImageAgreement : public ::testing::TestWithParam<ValidImage> {
 protected:
  void SetUp() override {
    GetParam().describe(description_);
    path_ = scratch_ / "image.vhdx";
    PluginImage::Build(description_).WriteTo(path_);
  }

  // vhdx-inspect's report of the image, which must be a clean one.
  Report CleanReport() {
    const ProgramRun run = RunVhdxInspect({"-f", path_});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out.find("Exception occurred: "), std::string::npos) << run.out;
    Report report = ParseReport(run.out);
    EXPECT_FALSE(report.lines.empty());
    if (!report.lines.empty()) {
      EXPECT_EQ(report.lines.front(), "Parsing " + path_);
    }
    return report;
  }

  ImageDescription description_;
  ScratchDirectory scratch_;
  std::string path_;
};

TEST_P(ValidImageAgreement, VhdiinfoOpensItAndFindsTheReportedSizes) {
  const auto vhdiinfo = RequireTool("vhdiinfo", "libvhdi-utils");
  if (!vhdiinfo) return;
  const ProgramRun info = RunProgram(*vhdiinfo, {path_});
  ASSERT_EQ(info.status, 0) << info.out << info.err;
  ASSERT_NE(info.out.find("VHDX (version 2)"), std::string::npos) << info.out;

  const Report report = CleanReport();
  const auto mediaSize = FirstNumber(info.out, R"(Media size[\t ]*: .*\((\d+) bytes\))");
  const auto bytesPerSector = FirstNumber(info.out, R"(Bytes per sector[\t ]*: (\d+) bytes)");
  const auto formatVersion = FirstNumber(info.out, R"(Format version[\t ]*: (\d+))");
  EXPECT_EQ(report.NumberAfter("VirtualDiskSize:   "), static_cast<std::uint64_t>(mediaSize)) << info.out;
  EXPECT_EQ(report.NumberAfter("LogicalSectorSize: "), static_cast<std::uint64_t>(bytesPerSector)) << info.out;
  // The first image of a run shows the header's Version in decimal.
  EXPECT_EQ(report.ValueAfter("Version:          "), std::to_string(formatVersion)) << info.out;
}

TEST_P(ValidImageAgreement, QemuImgChecksItAndFindsTheReportedSizes) {
  const auto qemuImg = RequireTool("qemu-img", "qemu-utils");
  if (!qemuImg) return;
  if (description_.logicalSectorSize != 512) {
    GTEST_SKIP() << "qemu-img 7.2 opens VHDX images with 512-byte logical sectors only";
  }
  const ProgramRun check = RunProgram(*qemuImg, {"check", "-f", "vhdx", path_});
  ASSERT_EQ(check.status, 0) << check.out << check.err;
  const ProgramRun info = RunProgram(*qemuImg, {"info", "-f", "vhdx", "--output=json", path_});
  ASSERT_EQ(info.status, 0) << info.out << info.err;

  const Report report = CleanReport();
  const auto virtualSize = FirstNumber(info.out, R"("virtual-size": (\d+))");
  const auto clusterSize = FirstNumber(info.out, R"("cluster-size": (\d+))");
  EXPECT_EQ(report.NumberAfter("VirtualDiskSize:   "), static_cast<std::uint64_t>(virtualSize)) << info.out;
  EXPECT_EQ(report.NumberAfter("BlockSize:         "), static_cast<std::uint64_t>(clusterSize)) << info.out;
}

INSTANTIATE_TEST_SUITE_P(Images, ValidImageAgreement, ::testing::ValuesIn(kValidImages),
                         [](const ::testing::TestParamInfo<ValidImage>& info) {
                           std::string name;
                           for (const char c : std::string(info.param.name)) {
                             name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                           }
                           return name;
                         });

}  // namespace
}  // namespace agreement
