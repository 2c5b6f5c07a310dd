#include "vhdx/crc32c.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <numeric>
#include <string_view>
#include <vector>

#include "vhdx/crc32c_tables.h"

namespace vhdx_inspect::detail::vhdx {
namespace {

using Crc32cFunction = std::uint32_t (*)(std::uint32_t, const void*, std::uint32_t);

struct SlicingBy8 {
  static constexpr Crc32cFunction kFunction = &crc32c;
};
struct ByteAtATime {
  static constexpr Crc32cFunction kFunction = &Crc32cByteAtATime;
};

template <typename Implementation>
class Crc32cTest : public ::testing::Test {
 protected:
  static std::uint32_t Checksum(const void* data, std::uint32_t length) {
    return Implementation::kFunction(0xFFFFFFFF, data, length);
  }
  static std::uint32_t Checksum(const std::vector<std::uint8_t>& bytes) {
    return Checksum(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
  }
};

using Implementations = ::testing::Types<SlicingBy8, ByteAtATime>;
TYPED_TEST_SUITE(Crc32cTest, Implementations);

TYPED_TEST(Crc32cTest, CheckValueOfTheNineDigits) {
  constexpr std::string_view kDigits = "123456789";
  EXPECT_EQ(this->Checksum(kDigits.data(), 9), 0xE3069283u);
}

TYPED_TEST(Crc32cTest, EmptyInputGivesTheComplementOfTheInitialValue) {
  EXPECT_EQ(this->Checksum(nullptr, 0), 0x00000000u);
  EXPECT_EQ(TypeParam::kFunction(0x12345678, nullptr, 0), 0xEDCBA987u);
}

TYPED_TEST(Crc32cTest, Rfc3720Vectors) {
  std::vector<std::uint8_t> ascending(32);
  std::iota(ascending.begin(), ascending.end(), std::uint8_t{0});
  const std::vector<std::uint8_t> descending(ascending.rbegin(), ascending.rend());
  EXPECT_EQ(this->Checksum(std::vector<std::uint8_t>(32, 0x00)), 0x8A9136AAu);
  EXPECT_EQ(this->Checksum(std::vector<std::uint8_t>(32, 0xFF)), 0x62A8AB43u);
  EXPECT_EQ(this->Checksum(ascending), 0x46DD794Eu);
  EXPECT_EQ(this->Checksum(descending), 0x113FDB5Cu);
}

// Every alignment of the data pointer and every short length, including
// lengths below the lead-in and lengths that leave no whole 8-byte block.
TYPED_TEST(Crc32cTest, SameResultAtEveryAlignmentAndLength) {
  std::array<std::uint8_t, 64> storage{};
  for (std::size_t i = 0; i < storage.size(); ++i) storage[i] = static_cast<std::uint8_t>(i * 37 + 11);
  for (std::uint32_t length = 0; length <= 20; ++length) {
    const std::uint32_t expected = Crc32cByteAtATime(0xFFFFFFFF, storage.data() + 8, length);
    for (std::size_t shift = 0; shift < 4; ++shift) {
      std::array<std::uint8_t, 64> copy{};
      std::copy_n(storage.begin() + 8, length, copy.begin() + 8 + shift);
      EXPECT_EQ(this->Checksum(copy.data() + 8 + shift, length), expected)
          << "length " << length << ", alignment " << shift;
    }
  }
}

TEST(Crc32cSlicingBy8, AgreesWithByteAtATimeOnHeaderAndRegionSizedZeroBuffers) {
  for (const std::uint32_t size : {4096u, 65536u}) {
    const std::vector<std::uint8_t> zeros(size + 3, 0);
    for (std::size_t shift = 0; shift < 4; ++shift) {
      EXPECT_EQ(crc32c(0xFFFFFFFF, zeros.data() + shift, size), Crc32cByteAtATime(0xFFFFFFFF, zeros.data(), size))
          << size << " bytes at alignment " << shift;
    }
  }
}

TEST(Crc32cTables, PublishedEntries) {
  EXPECT_EQ(kCrc32cTables[0][0], 0x00000000u);
  EXPECT_EQ(kCrc32cTables[0][1], 0xF26B8303u);
  EXPECT_EQ(kCrc32cTables[1][1], 0x13A29877u);
  EXPECT_EQ(kCrc32cTables[7][1], 0x493C7D27u);
}

}  // namespace
}  // namespace vhdx_inspect::detail::vhdx
