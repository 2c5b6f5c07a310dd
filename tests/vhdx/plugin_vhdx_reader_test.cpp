// The reader's failures outside the image, through a file whose reads fail on
// demand and a backend that refuses working buffers: each gives its exact
// line, in the number base the stream is in, and raises; and each stage reads
// the image once, however many queries follow.
#include "vhdx/plugin_vhdx_reader.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <ios>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "expect_corrupt.h"
#include "faulty_file.h"
#include "refused_allocation.h"
#include "sample_header_block.h"
#include "testsupport/plugin_image.h"

namespace vhdx_test {
namespace {

using testsupport::ImageDescription;
using testsupport::PluginImage;
using vhdx::PluginVhdxReader;

constexpr char kPath[] = "image.vhdx";
// The status the failing file reports: ERROR_IO_DEVICE on Windows, and a
// number whose hexadecimal form differs from its decimal one.
constexpr platform::ErrorCode kIoStatus = 1117;
constexpr std::size_t kHeaderSectionBufferSize = 1048576;
constexpr std::size_t kMetadataBufferSize = 2097152;

const PluginImage& SampleImage() {
  static const PluginImage image = PluginImage::Build(ImageDescription{});
  return image;
}

// The state of the output stream before the failing line: the status in the
// line follows it, as every number in a diagnostic line does.
struct StreamBase {
  const char* name;
  std::ios_base& (*base)(std::ios_base&);
  bool showBase;
};
constexpr StreamBase kBases[] = {
    {"decimal", std::dec, false},
    {"hexadecimal", std::hex, false},
    {"hexadecimal with the prefix", std::hex, true},
};

std::string InBase(platform::ErrorCode value, const StreamBase& base) {
  std::ostringstream text;
  text << base.base << (base.showBase ? std::showbase : std::noshowbase) << value;
  return text.str();
}

// A failure that ends a query with a read-failure line.
struct ReadFailure {
  const char* what;
  std::optional<ReadFault> fault;  // a read of the file that fails
  std::size_t refusedBuffer = 0;   // a working buffer that cannot be allocated
  platform::ErrorCode status;      // the status the line names
  bool readData;                   // the failing query is ReadData, after the stages
  ReadLog reads;                   // every read of the file, in order
};

TEST(ReaderReadFailure, NamesTheStatusInTheBaseInForceAndRaises) {
  const testsupport::Layout& at = SampleImage().layout();
  const ReadFailure cases[] = {
      {"stage 1 read", ReadFault{0, kIoStatus}, 0, kIoStatus, false, {0}},
      {"header section buffer", std::nullopt, kHeaderSectionBufferSize, platform::kOutOfMemoryStatus, false, {}},
      {"ReadData read", ReadFault{at.dataArea, kIoStatus}, 0, kIoStatus, true, {0, at.metadataRegion, at.dataArea}},
  };
  for (const ReadFailure& c : cases) {
    for (const StreamBase& base : kBases) {
      SCOPED_TRACE(testing::Message() << c.what << ", " << base.name);
      std::optional<RefusedAllocation> refused;
      if (c.refusedBuffer != 0) refused.emplace(c.refusedBuffer);
      ReadLog reads;
      std::ostringstream out;
      PluginVhdxReader reader(kPath, out, OpenFaultyFile(SampleImage().bytes(), reads, c.fault));
      std::vector<std::byte> buffer(512);
      std::uint32_t count = 0;
      if (c.readData) {
        ASSERT_EQ(reader.GetLogicalSectorSize(), 512u);
      }
      out << base.base << (base.showBase ? std::showbase : std::noshowbase);

      ExpectCorrupt([&] { c.readData ? reader.ReadData(0, buffer, count) : reader.GetLogicalSectorSize(); });
      EXPECT_EQ(out.str(), "ReadFile failed with status " + InBase(c.status, base) + " for file: image.vhdx\n");
      EXPECT_EQ(reads, c.reads);
    }
  }
}

// Stage 2 left incomplete, by a failed read of the metadata region or a
// metadata buffer that could not be allocated: the queries say nothing and
// give the fields' initial values; the report tries stage 2 once more and
// then shows the header block and raises, with no line of its own.
TEST(ReaderIncompleteStage2, QueriesAreSilentAndTheReportStopsAfterTheHeaderBlock) {
  const std::uint64_t metadata = SampleImage().layout().metadataRegion;
  struct Case {
    const char* what;
    std::optional<ReadFault> fault;
    std::size_t refusedBuffer;
    ReadLog readsByQueries;
    ReadLog readsByReport;
  };
  const Case cases[] = {
      {"failed read", ReadFault{metadata, kIoStatus}, 0, {0, metadata, metadata}, {0, metadata, metadata, metadata}},
      {"no buffer", std::nullopt, kMetadataBufferSize, {0}, {0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::optional<RefusedAllocation> refused;
    if (c.refusedBuffer != 0) refused.emplace(c.refusedBuffer);
    ReadLog reads;
    std::ostringstream out;
    PluginVhdxReader reader(kPath, out, OpenFaultyFile(SampleImage().bytes(), reads, c.fault));

    EXPECT_EQ(reader.GetLogicalSectorSize(), 0u);
    EXPECT_FALSE(reader.HasGptTrailer());
    EXPECT_EQ(out.str(), "");
    EXPECT_EQ(reads, c.readsByQueries) << "stage 1 runs once, stage 2 at each query";

    ExpectCorrupt([&] { reader.PrintContainerReport(); });
    EXPECT_EQ(out.str(), std::string("Parsing image.vhdx\n\n") + kSampleHeaderBlock);
    EXPECT_EQ(reads, c.readsByReport);
  }
}

// Whichever query comes first runs both stages; nothing after it reads the
// header section or the metadata region again, and only ReadData reads more.
TEST(ReaderStages, EachStageReadsTheImageOnce) {
  const testsupport::Layout& at = SampleImage().layout();
  ReadLog reads;
  std::ostringstream out;
  PluginVhdxReader reader(kPath, out, OpenFaultyFile(SampleImage().bytes(), reads));

  EXPECT_EQ(reader.GetLogicalSectorSize(), 512u);
  EXPECT_EQ(reads, (ReadLog{0, at.metadataRegion}));
  EXPECT_TRUE(reader.HasGptTrailer());
  EXPECT_EQ(reader.GetMbrGptSize(), static_cast<std::int64_t>(at.partitionAreaSize));
  EXPECT_EQ(reader.GetGptTrailerLength(), static_cast<std::int64_t>(at.trailerLength));
  EXPECT_EQ(reader.GetGptTrailerDiskOffset(), static_cast<std::int64_t>(at.trailerDiskOffset));
  EXPECT_EQ(out.str(), "");
  reader.PrintContainerReport();
  EXPECT_EQ(out.str().rfind(std::string("Parsing image.vhdx\n\n") + kSampleHeaderBlock, 0), 0u) << out.str();
  std::vector<std::byte> buffer(512);
  std::uint32_t count = 0;
  EXPECT_EQ(reader.ReadData(0, buffer, count), 512u);
  EXPECT_EQ(reader.ReadData(at.trailerDiskOffset, buffer, count), 512u);
  EXPECT_EQ(reader.GetLogicalSectorSize(), 512u);
  EXPECT_EQ(reads, (ReadLog{0, at.metadataRegion, at.dataArea, at.trailer}));
}

}  // namespace
}  // namespace vhdx_test
