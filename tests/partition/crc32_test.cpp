#include "partition/crc32.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <vector>

namespace vhdx_inspect::detail::partition {
namespace {

std::vector<std::byte> Bytes(std::string_view text) {
  std::vector<std::byte> bytes(text.size());
  std::memcpy(bytes.data(), text.data(), text.size());
  return bytes;
}

TEST(Crc32, CheckValueOfTheNineDigits) { EXPECT_EQ(Crc32(Bytes("123456789")), 0xCBF43926u); }

TEST(Crc32, NoBytesGiveZero) { EXPECT_EQ(Crc32({}), 0u); }

TEST(Crc32SkipField, EqualsTheChecksumOfACopyWithTheFieldZeroed) {
  std::vector<std::byte> header(92);
  for (std::size_t i = 0; i < header.size(); ++i) header[i] = static_cast<std::byte>(i * 7 + 3);
  for (const std::size_t offset : {std::size_t{0}, std::size_t{16}, std::size_t{88}}) {
    std::vector<std::byte> zeroed = header;
    std::fill_n(zeroed.begin() + static_cast<std::ptrdiff_t>(offset), 4, std::byte{0});
    EXPECT_EQ(Crc32SkipField(header, offset), Crc32(zeroed)) << "field at " << offset;
  }
}

TEST(Crc32SkipField, IgnoresTheFieldAndNothingElse) {
  std::vector<std::byte> header(92, std::byte{0x5A});
  const std::uint32_t original = Crc32SkipField(header, 16);
  for (std::size_t i = 0; i < header.size(); ++i) {
    std::vector<std::byte> changed = header;
    changed[i] ^= std::byte{0x01};
    const bool insideField = i >= 16 && i < 20;
    EXPECT_EQ(Crc32SkipField(changed, 16) == original, insideField) << "byte " << i;
  }
}

}  // namespace
}  // namespace vhdx_inspect::detail::partition
