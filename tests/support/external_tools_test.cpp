// Built images checked by independent readers of the published formats:
// qemu-img and vhdiinfo for the VHDX container, sgdisk for the MBR and GPT.
// Each test is skipped, with the reason, when its tool is not installed, and
// fails then in CI (CI=true), where every tool is installed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "scratch.h"
#include "support/plugin_image.h"
#include "support/program_run.h"
#include "support/required_tool.h"

namespace {

using namespace testsupport;
using testsupport_test::ScratchPath;

// Runs the tool at `path` with `arguments`: its exit status and both output
// streams together.
struct ToolOutput {
  int exitCode = -1;
  std::string output;
};

ToolOutput RunTool(const std::string& path, std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), path);
  const ProgramRun run = RunProgram(arguments);
  return {run.status, run.out + run.err};
}

struct ImageCase {
  const char* name;
  std::function<void(ImageDescription&)> change;
};

const std::vector<ImageCase>& ImageCases() {
  static const std::vector<ImageCase> cases = {
      {"sample", [](ImageDescription&) {}},
      {"4096-byte sectors", [](ImageDescription& d) { d.logicalSectorSize = 4096; }},
      {"no trailer", [](ImageDescription& d) { d.gptTrailer = false; }},
      {"no volumes", [](ImageDescription& d) { d.volumes.clear(); }},
      {"sixteen volumes",
       [](ImageDescription& d) {
         d.volumes.assign(16, Volume{512, 1 << 20, 0, 0, u"volume.twb"});
       }},
      {"4 GiB disk, header 1 current",
       [](ImageDescription& d) {
         d.virtualDiskSize = 4 * kGiB;
         d.header1SequenceNumber = 7;
         d.header2SequenceNumber = 6;
       }},
  };
  return cases;
}

// A scratch file that is removed when the test ends.
class ScratchFile {
 public:
  explicit ScratchFile(const std::string& name) : path_(ScratchPath(name)) {}
  ~ScratchFile() { std::filesystem::remove(path_); }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

bool QemuRefusesSectorSize(const std::string& output) {
  return output.find("Operation not supported") != std::string::npos;
}

TEST(ExternalTools, QemuImgChecksTheImagesAndReadsTheirSize) {
  const auto qemuImg = RequireTool("qemu-img", "qemu-utils");
  if (!qemuImg) return;
  for (const ImageCase& c : ImageCases()) {
    SCOPED_TRACE(c.name);
    ImageDescription d;
    c.change(d);
    ScratchFile file("image.vhdx");
    PluginImage::Build(d).WriteTo(file.path());
    const auto check = RunTool(*qemuImg, {"check", "-f", "vhdx", file.path()});
    if (d.logicalSectorSize == 4096 && QemuRefusesSectorSize(check.output)) {
      // Older qemu-img opens only 512-byte logical sectors; vhdiinfo covers these.
      continue;
    }
    EXPECT_EQ(check.exitCode, 0) << check.output;
    const auto info = RunTool(*qemuImg, {"info", "-f", "vhdx", "--output=json", file.path()});
    EXPECT_EQ(info.exitCode, 0) << info.output;
    EXPECT_NE(info.output.find("\"virtual-size\": " + std::to_string(d.virtualDiskSize) + ","), std::string::npos)
        << info.output;
  }
}

TEST(ExternalTools, VhdiinfoOpensTheImages) {
  const auto vhdiinfo = RequireTool("vhdiinfo", "libvhdi-utils");
  if (!vhdiinfo) return;
  for (const ImageCase& c : ImageCases()) {
    SCOPED_TRACE(c.name);
    ImageDescription d;
    c.change(d);
    ScratchFile file("image.vhdx");
    PluginImage::Build(d).WriteTo(file.path());
    const auto info = RunTool(*vhdiinfo, {file.path()});
    EXPECT_EQ(info.exitCode, 0) << info.output;
    EXPECT_NE(info.output.find("VHDX (version 2)"), std::string::npos) << info.output;
    EXPECT_NE(info.output.find("(" + std::to_string(d.virtualDiskSize) + " bytes)"), std::string::npos) << info.output;
    EXPECT_NE(info.output.find("Bytes per sector\t: " + std::to_string(d.logicalSectorSize) + " bytes"),
              std::string::npos)
        << info.output;
  }
}

// Negative control: the checkers do verify the checksums that the builder
// writes, so their accepting the images above means something. (vhdiinfo
// verifies the region table checksum but not the header checksum.)
TEST(ExternalTools, CheckersRejectBrokenChecksums) {
  const auto qemu = OptionalTool("qemu-img", "qemu-utils");
  const auto vhdi = OptionalTool("vhdiinfo", "libvhdi-utils");
  if (!qemu && !vhdi) GTEST_SKIP() << "neither qemu-img nor vhdiinfo is installed";
  struct Damage {
    const char* name;
    std::function<std::uint64_t(const Layout&, int)> record;  // copy 1 or 2
    bool vhdiinfoChecks;
  };
  const std::vector<Damage> damages = {
      {"both header checksums", [](const Layout& l, int copy) { return l.header(copy); }, false},
      {"both region table checksums", [](const Layout& l, int copy) { return l.regionTable(copy); }, true},
  };
  for (const Damage& damage : damages) {
    SCOPED_TRACE(damage.name);
    PluginImage image = PluginImage::Build(ImageDescription{});
    for (int copy : {1, 2}) {
      // The checksum is the 4 bytes at offset 4 of both records.
      const std::uint64_t at = damage.record(image.layout(), copy) + 4;
      image.Put32(at, static_cast<std::uint32_t>(image.Get(at, Field{0, 4}) ^ 1u));
    }
    ScratchFile file("broken.vhdx");
    image.WriteTo(file.path());
    if (qemu) {
      EXPECT_NE(RunTool(*qemu, {"info", "-f", "vhdx", file.path()}).exitCode, 0);
    }
    if (vhdi && damage.vhdiinfoChecks) {
      EXPECT_NE(RunTool(*vhdi, {file.path()}).exitCode, 0);
    }
  }
}

// The registry form of an on-disk GUID, as sgdisk prints it.
std::string RegistryForm(const Guid& guid) {
  const auto& b = guid.bytes;
  char text[37];
  std::snprintf(text, sizeof text, "%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X", b[3], b[2],
                b[1], b[0], b[5], b[4], b[7], b[6], b[8], b[9], b[10], b[11], b[12], b[13], b[14], b[15]);
  return text;
}

std::string Utf8(const std::u16string& ascii) { return std::string(ascii.begin(), ascii.end()); }

TEST(ExternalTools, SgdiskFindsNoProblemsInTheGptAndReadsEveryEntry) {
  const auto sgdisk = RequireTool("sgdisk", "gdisk");
  if (!sgdisk) return;
  // sgdisk takes a plain file to have 512-byte sectors.
  struct Case {
    const char* name;
    std::uint64_t virtualDiskSize;
    std::size_t partitions;
  };
  for (const Case& c : {Case{"sample", 1 * kGiB, 3}, Case{"64 MiB disk", 64 * kMiB, 1}}) {
    SCOPED_TRACE(c.name);
    ImageDescription d;
    d.virtualDiskSize = c.virtualDiskSize;
    const PluginImage image = PluginImage::Build(d);
    ScratchFile raw("disk.raw");
    WriteRawDisk(image, raw.path());

    const auto verify = RunTool(*sgdisk, {"-v", raw.path()});
    EXPECT_EQ(verify.exitCode, 0) << verify.output;
    EXPECT_NE(verify.output.find("No problems found."), std::string::npos) << verify.output;

    const auto print = RunTool(*sgdisk, {"-p", raw.path()});
    EXPECT_NE(print.output.find("Disk identifier (GUID): " + RegistryForm(d.diskGuid)), std::string::npos)
        << print.output;
    EXPECT_NE(print.output.find("Main partition table begins at sector 2 and ends at sector 33"), std::string::npos)
        << print.output;
    const std::vector<GptPartition>& partitions = image.description().partitions.value();
    ASSERT_EQ(partitions.size(), c.partitions);
    for (std::size_t i = 0; i < partitions.size(); ++i) {
      const GptPartition& p = partitions[i];
      const auto entry = RunTool(*sgdisk, {"-i", std::to_string(i + 1), raw.path()});
      SCOPED_TRACE(entry.output);
      EXPECT_NE(entry.output.find("Partition GUID code: " + RegistryForm(p.type)), std::string::npos);
      EXPECT_NE(entry.output.find("Partition unique GUID: " + RegistryForm(p.unique)), std::string::npos);
      EXPECT_NE(entry.output.find("First sector: " + std::to_string(p.firstLba) + " "), std::string::npos);
      EXPECT_NE(entry.output.find("Last sector: " + std::to_string(p.lastLba) + " "), std::string::npos);
      char attributes[17];
      std::snprintf(attributes, sizeof attributes, "%016llX", static_cast<unsigned long long>(p.attributes));
      EXPECT_NE(entry.output.find(std::string("Attribute flags: ") + attributes), std::string::npos);
      EXPECT_NE(entry.output.find("Partition name: '" + Utf8(p.name) + "'"), std::string::npos);
    }
    if (c.partitions == 3) {
      // The standard names go with the standard types, as sgdisk names them.
      EXPECT_NE(print.output.find("EF00  EFI system partition"), std::string::npos) << print.output;
      EXPECT_NE(print.output.find("0C01  Microsoft reserved"), std::string::npos) << print.output;
      EXPECT_NE(print.output.find("0700  Basic data partition"), std::string::npos) << print.output;
    }
  }
}

TEST(ExternalTools, SgdiskNoticesAnEntryChangedBehindTheChecksum) {
  const auto sgdisk = RequireTool("sgdisk", "gdisk");
  if (!sgdisk) return;
  PluginImage image = PluginImage::Build(ImageDescription{});
  image.Put(image.layout().primaryGptEntries, gpt_entry_field::kLastLba, 300000);  // checksum left stale
  ScratchFile raw("disk.raw");
  WriteRawDisk(image, raw.path());
  const auto verify = RunTool(*sgdisk, {"-v", raw.path()});
  EXPECT_EQ(verify.output.find("No problems found."), std::string::npos) << verify.output;
}

bool SameContents(const std::string& pathA, const std::string& pathB) {
  std::ifstream a(pathA, std::ios::binary);
  std::ifstream b(pathB, std::ios::binary);
  std::vector<char> chunkA(1 << 20);
  std::vector<char> chunkB(1 << 20);
  while (a && b) {
    a.read(chunkA.data(), static_cast<std::streamsize>(chunkA.size()));
    b.read(chunkB.data(), static_cast<std::streamsize>(chunkB.size()));
    if (a.gcount() != b.gcount() || !std::equal(chunkA.begin(), chunkA.begin() + a.gcount(), chunkB.begin())) {
      return false;
    }
  }
  return !a && !b;
}

// A GPT written by sgdisk on a raw file, wrapped into a plugin image: the
// image is a valid VHDX, and its partition-table area and trailer give back
// the raw disk byte for byte.
TEST(ExternalTools, WrapsAGptWrittenBySgdisk) {
  const auto sgdisk = RequireTool("sgdisk", "gdisk");
  if (!sgdisk) return;
  ScratchFile raw("sgdisk.raw");
  { std::ofstream(raw.path(), std::ios::binary); }
  std::filesystem::resize_file(raw.path(), 64 * kMiB);
  const auto made = RunTool(*sgdisk, {"-n", "1:2048:+10M", "-t", "1:ef00", "-c", "1:EFI system partition", "-n",
                                      "2:0:+16M", "-t", "2:0c01", "-c", "2:Microsoft reserved partition", "-n", "3:0:0",
                                      "-t", "3:0700", "-c", "3:Basic data partition", raw.path()});
  ASSERT_EQ(made.exitCode, 0) << made.output;

  ImageDescription d;
  AdoptRawDisk(d, raw.path());
  EXPECT_EQ(d.virtualDiskSize, 64 * kMiB);
  const PluginImage image = PluginImage::Build(d);
  EXPECT_EQ(image.Get(image.layout().pluginItem, plugin_field::kMbrGptSize), 34u * 512);
  EXPECT_EQ(image.Get(image.layout().pluginItem, plugin_field::kGptTrailerLength), 33u * 512);

  ScratchFile again("again.raw");
  WriteRawDisk(image, again.path());
  EXPECT_TRUE(SameContents(raw.path(), again.path()));

  if (const auto qemuImg = OptionalTool("qemu-img", "qemu-utils")) {
    ScratchFile file("wrapped.vhdx");
    image.WriteTo(file.path());
    const auto check = RunTool(*qemuImg, {"check", "-f", "vhdx", file.path()});
    EXPECT_EQ(check.exitCode, 0) << check.output;
  }
}

}  // namespace
