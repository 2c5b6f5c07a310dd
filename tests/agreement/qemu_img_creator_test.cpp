// Images that qemu-img writes: real VHDX files from another creator. The tool
// must stop at the creator check; with only the creator bytes changed to the
// accepted creator it must get past the whole header section and stop at the
// metadata table, whose five standard entries are one short of a plugin VHDX.
#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <ostream>
#include <string>
#include <vector>

#include "programs.h"

namespace agreement {
namespace {

constexpr char kCorrupt[] = "Exception occurred: plugin VHDX is corrupt\n";

struct QemuImage {
  const char* name;
  std::vector<std::string> createArguments;  // after "create -f vhdx", before the path
  const char* size;
};

const std::vector<QemuImage> kQemuImages = {
    {"defaults", {}, "64M"},
    {"32 MiB blocks, 1 GiB", {"-o", "block_size=32M"}, "1G"},
    {"1 MiB blocks, 8 MiB log", {"-o", "block_size=1M,log_size=8M"}, "100M"},
    {"fixed", {"-o", "subformat=fixed"}, "8M"},
};

// Names the case in failure messages.
void PrintTo(const QemuImage& value, std::ostream* out) { *out << value.name; }

// The creator field of the file identifier: 512 bytes at offset 8, of which
// the tool compares the first 80, the UTF-16LE text and its terminator.
void WriteCreator(const std::string& path, const std::u16string& creator) {
  std::string bytes;
  for (char16_t unit : creator + u'\0') {
    bytes.push_back(static_cast<char>(unit & 0xFF));
    bytes.push_back(static_cast<char>(unit >> 8));
  }
  std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
  file.seekp(8);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(file.good()) << "cannot patch " << path;
}

void WriteSignature(const std::string& path, const std::string& signature) {
  std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
  file.write(signature.data(), static_cast<std::streamsize>(signature.size()));
  ASSERT_TRUE(file.good()) << "cannot patch " << path;
}

class QemuImgCreator : public ::testing::TestWithParam<QemuImage> {
 protected:
  void SetUp() override {
    const auto found = RequireTool("qemu-img", "qemu-utils");
    if (!found) return;
    qemuImg_ = *found;
    path_ = scratch_ / "qemu.vhdx";
    std::vector<std::string> arguments = {"create", "-q", "-f", "vhdx"};
    arguments.insert(arguments.end(), GetParam().createArguments.begin(), GetParam().createArguments.end());
    arguments.push_back(path_);
    arguments.push_back(GetParam().size);
    const ProgramRun created = RunProgram(qemuImg_, arguments);
    ASSERT_EQ(created.status, 0) << created.out << created.err;
  }

  std::string qemuImg_;
  ScratchDirectory scratch_;
  std::string path_;
};

TEST_P(QemuImgCreator, ImageOfAnotherCreatorGetsTheCreatorLine) {
  const ProgramRun run = RunVhdxInspect({"-f", path_});
  EXPECT_EQ(run.out, std::string("VHDX not created by Tallowbridge.\n") + kCorrupt);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.status, 0);
}

TEST_P(QemuImgCreator, WithTheAcceptedCreatorItReachesTheMetadataEntryCount) {
  WriteCreator(path_, u"Tallowbridge Technology Corporation 1.0");
  // The creator is not covered by any checksum: qemu-img still finds a sound
  // VHDX, so every check of the header section has a real image to pass.
  const ProgramRun check = RunProgram(qemuImg_, {"check", "-f", "vhdx", path_});
  ASSERT_EQ(check.status, 0) << check.out << check.err;

  const ProgramRun run = RunVhdxInspect({"-f", path_});
  EXPECT_EQ(run.out, std::string("Entry count is: 5 Entry count should be 6.\n") + kCorrupt);
  EXPECT_EQ(run.status, 0);
}

TEST_P(QemuImgCreator, TheAlternativeSignatureIsTakenLikeTheStandardOne) {
  WriteCreator(path_, u"Tallowbridge Technology Corporation 1.0");
  WriteSignature(path_, "vhdx.twb");
  const ProgramRun run = RunVhdxInspect({"-f", path_});
  EXPECT_EQ(run.out, std::string("Entry count is: 5 Entry count should be 6.\n") + kCorrupt);
}

INSTANTIATE_TEST_SUITE_P(Images, QemuImgCreator, ::testing::ValuesIn(kQemuImages),
                         [](const ::testing::TestParamInfo<QemuImage>& info) {
                           std::string name;
                           for (const char c : std::string(info.param.name)) {
                             name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                           }
                           return name;
                         });

}  // namespace
}  // namespace agreement
