// The container reader on real files through the Win32 backend: the open and
// read failure lines with their Windows status numbers, exclusivity while a
// reader lives, and positioned reads beyond 4 GiB in a sparse image.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "expect_corrupt.h"
#include "platform/memory_file.h"
#include "scratch_file.h"
#include "testsupport/plugin_image.h"
#include "vhdx/plugin_vhdx_reader.h"

namespace {

using testsupport::ImageDescription;
using testsupport::PluginImage;
using vhdx::PluginVhdxReader;
using vhdx_test::ExpectCorrupt;
using windows_test::HeldOpen;
using windows_test::ScratchPath;
using windows_test::WriteAt;
using windows_test::WriteNewFile;

constexpr std::uint64_t kGiB = std::uint64_t{1} << 30;

std::vector<std::byte> Bytes(std::span<const std::byte> view) { return {view.begin(), view.end()}; }

// The three kinds of first query that run stage 1 or check the open.
enum class Query { kAccessor, kReadData, kReport };

void AskFirst(PluginVhdxReader& reader, Query query) {
  std::vector<std::byte> buffer(512);
  std::uint32_t count = 0;
  switch (query) {
    case Query::kAccessor:
      reader.GetLogicalSectorSize();
      break;
    case Query::kReadData:
      reader.ReadData(0, buffer, count);
      break;
    case Query::kReport:
      reader.PrintContainerReport();
      break;
  }
}

class ReaderOnWin32Test : public ::testing::TestWithParam<Query> {};

TEST_P(ReaderOnWin32Test, AFailedOpenGivesTheCreateFileLineWithTheWindowsStatus) {
  ScratchPath directory(".d");
  ASSERT_TRUE(::CreateDirectoryA(directory.str().c_str(), nullptr));
  ScratchPath heldByTest("-held-by-test.vhdx");
  PluginImage::Build(ImageDescription{}).WriteTo(heldByTest.str());
  HeldOpen holder(heldByTest.str());
  ASSERT_TRUE(holder.held());
  ScratchPath heldByReader("-held-by-reader.vhdx");
  PluginImage::Build(ImageDescription{}).WriteTo(heldByReader.str());
  std::ostringstream firstOut;
  PluginVhdxReader first(heldByReader.str(), firstOut);
  ASSERT_EQ(first.GetLogicalSectorSize(), 512u) << firstOut.str();

  struct Case {
    const char* what;
    std::string path;
    int status;
  };
  const Case cases[] = {
      {"missing file", directory.str() + "\\missing.vhdx", 2},
      {"missing folder", directory.str() + "\\none\\image.vhdx", 3},
      {"directory", directory.str(), 5},
      {"held open by the test", heldByTest.str(), 32},
      {"held by another reader", heldByReader.str(), 32},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::ostringstream out;
    PluginVhdxReader reader(c.path, out);
    EXPECT_EQ(out.str(), "") << "construction reports nothing";
    ExpectCorrupt([&] { AskFirst(reader, GetParam()); });
    const std::string line =
        "CreateFile failed with status " + std::to_string(c.status) + " for file: " + c.path + "\n";
    EXPECT_EQ(out.str(), GetParam() == Query::kReport ? "Parsing " + c.path + "\n\n" + line : line);
  }
}

INSTANTIATE_TEST_SUITE_P(FirstQuery, ReaderOnWin32Test,
                         ::testing::Values(Query::kAccessor, Query::kReadData, Query::kReport),
                         [](const ::testing::TestParamInfo<Query>& info) {
                           switch (info.param) {
                             case Query::kAccessor:
                               return "Accessor";
                             case Query::kReadData:
                               return "ReadData";
                             case Query::kReport:
                               break;
                           }
                           return "Report";
                         });

TEST(ReaderOnWin32StatusTest, IsWrittenInTheBaseThatEarlierOutputLeft) {
  ScratchPath image(".vhdx");
  PluginImage::Build(ImageDescription{}).WriteTo(image.str());
  HeldOpen holder(image.str());
  ASSERT_TRUE(holder.held());
  std::ostringstream out;
  out << std::hex << std::showbase;
  PluginVhdxReader reader(image.str(), out);
  ExpectCorrupt([&] { reader.GetLogicalSectorSize(); });
  EXPECT_EQ(out.str(), "CreateFile failed with status 0x20 for file: " + image.str() + "\n");
}

TEST(ReaderOnWin32ImageTest, AShortFileGivesTheLengthLine) {
  ScratchPath image(".vhdx");
  WriteNewFile(image.str(), Bytes(PluginImage::Build(ImageDescription{}).View(0, 4096)));
  std::ostringstream out;
  PluginVhdxReader reader(image.str(), out);
  ExpectCorrupt([&] { reader.HasGptTrailer(); });
  EXPECT_EQ(out.str(), "Attemped to read 1048576 bytes, but 4096 were read.\n");
}

TEST(ReaderOnWin32ImageTest, ReportsAValidImageAsFromMemoryAndHoldsItExclusively) {
  ScratchPath path(".vhdx");
  const PluginImage image = PluginImage::Build(ImageDescription{});
  image.WriteTo(path.str());

  std::ostringstream fromMemory;
  {
    PluginVhdxReader reader(path.str(), fromMemory, {platform::MakeMemoryFile(image.bytes()), 0});
    reader.PrintContainerReport();
  }
  std::ostringstream out;
  {
    PluginVhdxReader reader(path.str(), out);
    reader.PrintContainerReport();
    EXPECT_EQ(out.str(), fromMemory.str());
    EXPECT_EQ(out.str().rfind("Parsing " + path.str() + "\n\n", 0), 0u);
    EXPECT_EQ(reader.GetLogicalSectorSize(), 512u);
    EXPECT_EQ(reader.GetMbrGptSize(), 0x4400);
    EXPECT_TRUE(reader.HasGptTrailer());
    EXPECT_EQ(reader.GetGptTrailerLength(), 16384 + 512);

    HeldOpen other(path.str());
    EXPECT_FALSE(other.held());
    EXPECT_EQ(other.status(), DWORD{ERROR_SHARING_VIOLATION});
  }
  HeldOpen afterwards(path.str());
  EXPECT_TRUE(afterwards.held()) << "the reader closed the image; status " << afterwards.status();
}

// The sample image with its GPT trailer moved 4 GiB further into the data
// area, in a sparse file: the old place is zeroed, so a position cut to 32
// bits would read zeros instead of the trailer.
class ReaderBeyond4GiBTest : public ::testing::Test {
 protected:
  void SetUp() override {
    PluginImage image = PluginImage::Build(ImageDescription{});
    const testsupport::Layout& layout = image.layout();
    dataArea_ = layout.dataArea;
    trailerOffset_ = 4 * kGiB + layout.trailerDiskOffset;
    trailer_ = Bytes(image.View(layout.trailer, layout.trailerLength));
    partitionArea_ = Bytes(image.View(layout.partitionArea, layout.partitionAreaSize));
    image.PutBytes(layout.trailer, std::vector<std::byte>(trailer_.size()));
    image.PutInPluginItem(testsupport::plugin_field::kGptTrailerDiskOffset, trailerOffset_);
    image.WriteTo(path_.str());
    WriteAt(path_.str(), dataArea_ + trailerOffset_, trailer_);
  }

  ScratchPath path_{".vhdx"};
  std::uint64_t dataArea_ = 0;
  std::uint64_t trailerOffset_ = 0;
  std::vector<std::byte> trailer_;
  std::vector<std::byte> partitionArea_;
};

TEST_F(ReaderBeyond4GiBTest, ReadsTheTrailerWhereThePluginMetadataPutsIt) {
  std::ostringstream out;
  PluginVhdxReader reader(path_.str(), out);
  ASSERT_TRUE(reader.HasGptTrailer()) << out.str();
  ASSERT_EQ(reader.GetGptTrailerDiskOffset(), static_cast<std::int64_t>(trailerOffset_));

  std::vector<std::byte> buffer(trailer_.size(), std::byte{0xAA});
  std::uint32_t count = 0;
  EXPECT_EQ(reader.ReadData(trailerOffset_, buffer, count), trailer_.size());
  EXPECT_EQ(count, trailer_.size());
  EXPECT_EQ(buffer, trailer_);

  buffer.assign(partitionArea_.size(), std::byte{0xAA});
  EXPECT_EQ(reader.ReadData(0, buffer, count), partitionArea_.size());
  EXPECT_EQ(buffer, partitionArea_);

  // Across the end of the image: what is there, then zeros.
  buffer.assign(2 * trailer_.size(), std::byte{0xAA});
  EXPECT_EQ(reader.ReadData(trailerOffset_, buffer, count), trailer_.size());
  EXPECT_TRUE(std::equal(trailer_.begin(), trailer_.end(), buffer.begin()));
  EXPECT_TRUE(std::all_of(buffer.begin() + static_cast<std::ptrdiff_t>(trailer_.size()), buffer.end(),
                          [](std::byte b) { return b == std::byte{0}; }));
  EXPECT_EQ(out.str(), "");
}

TEST_F(ReaderBeyond4GiBTest, APositionPastTheEndReadsNothing) {
  std::ostringstream out;
  PluginVhdxReader reader(path_.str(), out);
  std::vector<std::byte> buffer(4096, std::byte{0xAA});
  std::uint32_t count = 7;
  EXPECT_EQ(reader.ReadData(64 * kGiB, buffer, count), 0u);
  EXPECT_EQ(count, 0u);
  EXPECT_TRUE(std::all_of(buffer.begin(), buffer.end(), [](std::byte b) { return b == std::byte{0}; }));
  EXPECT_EQ(reader.ReadData(0, std::span<std::byte>(), count), 0u);
  EXPECT_EQ(out.str(), "");
}

TEST_F(ReaderBeyond4GiBTest, APositionBeyondTheSignedRangeGivesTheSetFilePointerExLine) {
  std::ostringstream out;
  PluginVhdxReader reader(path_.str(), out);
  ASSERT_EQ(reader.GetLogicalSectorSize(), 512u);
  std::vector<std::byte> buffer(512);
  std::uint32_t count = 0;
  ExpectCorrupt([&] { reader.ReadData(std::uint64_t{1} << 63, buffer, count); });
  EXPECT_EQ(out.str(), "SetFilePointerEx failed with status 131 for file: " + path_.str() + "\n");
}

}  // namespace
