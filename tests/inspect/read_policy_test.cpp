// The two read policies: examined extents (the library's default) read a
// sound image in at most five requests and at most 512 KiB, no byte twice;
// whole regions read what the text program always has; and every image
// gives the same inspection under both, truncated at any boundary of its
// regions, in memory and as a file.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "inspect/inspect_opened.h"
#include "support/counting_file.h"
#include "support/plugin_image.h"
#include "vhdx_inspect/inspect.h"

namespace inspect_test {
namespace {

using testsupport::ImageDescription;
using testsupport::LengthKnown;
using testsupport::PluginImage;
using testsupport::ReadCount;
using testsupport::ReadRequest;
using vhdx_inspect::Inspection;
using vhdx_inspect::ReadPolicy;

constexpr std::uint32_t kHeaderSection = 1048576;
constexpr std::uint32_t kMetadataRegionRead = 2097152;
constexpr std::uint64_t kExaminedBudget = 512 * 1024;

struct Shape {
  const char* name;
  std::uint32_t sectorSize;
  bool trailer;
};

const Shape kShapes[] = {
    {"512-byte sectors with trailer", 512, true},
    {"4096-byte sectors with trailer", 4096, true},
    {"512-byte sectors without trailer", 512, false},
    {"4096-byte sectors without trailer", 4096, false},
};

PluginImage Sample(const Shape& shape) {
  ImageDescription d;
  d.logicalSectorSize = shape.sectorSize;
  d.gptTrailer = shape.trailer;
  return PluginImage::Build(d);
}

Inspection InspectCounting(std::span<const std::byte> bytes, ReadPolicy policy, ReadCount& count,
                           LengthKnown known = LengthKnown::kYes) {
  vhdx_inspect::Inspector inspector(policy);
  return vhdx_inspect::detail::inspect::InspectOpened(inspector, "image.vhdx",
                                                      testsupport::OpenCountingFile(bytes, count, known));
}

// ---------------------------------------------------------------------------
// Budgets, by a file that counts its reads.

TEST(ReadPolicy, ExaminedExtentsStayWithinTheBudgetAndGiveWholeRegionsResults) {
  for (const Shape& shape : kShapes) {
    SCOPED_TRACE(shape.name);
    const PluginImage image = Sample(shape);
    ReadCount examined;
    ReadCount whole;
    const Inspection narrow = InspectCounting(image.bytes(), ReadPolicy::kExaminedExtents, examined);
    const Inspection wide = InspectCounting(image.bytes(), ReadPolicy::kWholeRegions, whole);
    EXPECT_EQ(narrow.verdict, vhdx_inspect::Verdict::kSound);
    EXPECT_TRUE(narrow == wide);
    EXPECT_LE(examined.requests.size(), 5U);
    EXPECT_LE(examined.bytes(), kExaminedBudget);
    EXPECT_FALSE(examined.anyByteReadTwice());
    // The first request takes the file identifier, both headers and both
    // region table copies, from offset 0.
    ASSERT_FALSE(examined.requests.empty());
    EXPECT_EQ(examined.requests[0].position, 0U);
    EXPECT_EQ(examined.requests[0].length, 5U * 65536);
  }
}

TEST(ReadPolicy, WholeRegionsReadWhatTheTextProgramAlwaysRead) {
  for (const Shape& shape : kShapes) {
    SCOPED_TRACE(shape.name);
    const PluginImage image = Sample(shape);
    const testsupport::Layout& at = image.layout();
    const auto size = [](std::uint64_t n) { return static_cast<std::uint32_t>(n); };
    std::vector<ReadRequest> expected = {{0, kHeaderSection, kHeaderSection},
                                         {at.metadataRegion, kMetadataRegionRead, kMetadataRegionRead}};
    if (shape.trailer) {
      expected.push_back({at.dataArea, size(at.partitionAreaSize), size(at.partitionAreaSize)});
      expected.push_back({at.trailer, size(at.trailerLength), size(at.trailerLength)});
    }
    for (const auto& [policy, known] : {std::pair{ReadPolicy::kWholeRegions, LengthKnown::kYes},
                                        // A file whose length cannot be known is read whole.
                                        std::pair{ReadPolicy::kExaminedExtents, LengthKnown::kNo}}) {
      ReadCount count;
      const Inspection result = InspectCounting(image.bytes(), policy, count, known);
      EXPECT_EQ(result.verdict, vhdx_inspect::Verdict::kSound);
      EXPECT_TRUE(count.requests == expected);
    }
  }
}

// ---------------------------------------------------------------------------
// The same inspection under both policies, truncated at every boundary.

// Every offset at which a region, a structure or an examined extent begins
// or ends, each with its neighbours one byte before and after, inside the file.
std::vector<std::uint64_t> TruncationLengths(const PluginImage& image) {
  const testsupport::Layout& at = image.layout();
  const std::uint64_t S = at.sectorSize;
  std::vector<std::uint64_t> boundaries = {0,
                                           8,
                                           88,
                                           at.headers[0],
                                           at.headers[0] + 4096,
                                           at.headers[1],
                                           at.headers[1] + 4096,
                                           at.regionTables[0],
                                           at.regionTables[1],
                                           at.regionTables[1] + 65536,
                                           kHeaderSection,
                                           at.metadataRegion,
                                           at.metadataRegion + 32,
                                           at.metadataRegion + 224,
                                           at.pluginItem,
                                           at.pluginItem + 176,
                                           at.pluginItem + at.pluginItemLength,
                                           at.metadataRegion + at.metadataRegionLength,
                                           at.metadataRegion + kMetadataRegionRead,
                                           at.dataArea,
                                           at.dataArea + 512,
                                           at.dataArea + S + 92,
                                           at.dataArea + 2 * S + 16384,
                                           at.dataArea + at.partitionAreaSize,
                                           at.fileSize};
  for (const std::uint64_t item : at.metadataItems) boundaries.push_back(item);
  for (const std::uint64_t record : at.volumeRecords) {
    boundaries.push_back(record);
    boundaries.push_back(record + 66);
  }
  if (at.hasTrailer) {
    for (const std::uint64_t offset :
         {std::uint64_t{0}, std::uint64_t{16384}, std::uint64_t{16384 + 92}, at.trailerLength}) {
      boundaries.push_back(at.trailer + offset);
    }
  }
  std::set<std::uint64_t> lengths;
  for (const std::uint64_t b : boundaries) {
    for (const std::uint64_t length : {b - 1, b, b + 1}) {
      if (b + 1 != 0 && length <= at.fileSize && !(b == 0 && length > 1)) lengths.insert(length);
    }
  }
  return {lengths.rbegin(), lengths.rend()};  // longest first
}

TEST(ReadPolicy, TruncatedAtEveryBoundaryTheTwoPoliciesAgreeInMemoryAndByFile) {
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() /
      ("read_policy_test_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
       std::to_string(reinterpret_cast<std::uintptr_t>(&folder)));
  std::filesystem::create_directories(folder);
  vhdx_inspect::Inspector examined;
  vhdx_inspect::Inspector whole(ReadPolicy::kWholeRegions);
  for (const Shape& shape : kShapes) {
    SCOPED_TRACE(shape.name);
    const PluginImage image = Sample(shape);
    const std::string path = (folder / "image.vhdx").string();
    {
      std::ofstream out(path, std::ios::binary | std::ios::trunc);
      out.write(reinterpret_cast<const char*>(image.bytes().data()),
                static_cast<std::streamsize>(image.bytes().size()));
    }
    for (const std::uint64_t length : TruncationLengths(image)) {
      SCOPED_TRACE(length);
      std::filesystem::resize_file(path, length);
      const std::span<const std::byte> prefix(image.bytes().data(), static_cast<std::size_t>(length));
      const Inspection inMemory = examined.Inspect(prefix, path);
      EXPECT_TRUE(inMemory == whole.Inspect(prefix, path));
      EXPECT_TRUE(inMemory == examined.Inspect(path));
      EXPECT_TRUE(inMemory == whole.Inspect(path));
      // A file shorter than the header section fails on its length, counted
      // from the file's size.
      if (length < kHeaderSection) {
        ASSERT_TRUE(inMemory.failure);
        EXPECT_EQ(inMemory.failure->check, vhdx_inspect::Check::kHeaderSectionShort);
        EXPECT_EQ(inMemory.failure->found, static_cast<std::int64_t>(length));
      }
    }
  }
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace inspect_test
