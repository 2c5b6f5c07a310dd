// The two checksums against published check values and RFC 3720's vectors.
#include "support/checksums.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

using testsupport::Crc32;
using testsupport::Crc32c;

std::vector<std::byte> Bytes(std::initializer_list<int> values) {
  std::vector<std::byte> out;
  for (int v : values) out.push_back(static_cast<std::byte>(v));
  return out;
}

std::vector<std::byte> Repeat(int value, std::size_t count) {
  return std::vector<std::byte>(count, static_cast<std::byte>(value));
}

std::vector<std::byte> Counting(int from, int step) {
  std::vector<std::byte> out;
  for (int i = 0, v = from; i < 32; ++i, v += step) out.push_back(static_cast<std::byte>(v));
  return out;
}

struct Vector {
  const char* name;
  std::vector<std::byte> input;
  std::uint32_t crc32c;
  std::uint32_t crc32;
};

TEST(Checksums, PublishedVectors) {
  const std::vector<Vector> vectors = {
      {"check string 123456789", Bytes({'1', '2', '3', '4', '5', '6', '7', '8', '9'}), 0xE3069283u, 0xCBF43926u},
      {"empty", {}, 0x00000000u, 0x00000000u},
      {"32 bytes of 0x00", Repeat(0x00, 32), 0x8A9136AAu, 0x190A55ADu},
      {"32 bytes of 0xFF", Repeat(0xFF, 32), 0x62A8AB43u, 0xFF6CAB0Bu},
      {"bytes 0 to 31", Counting(0, 1), 0x46DD794Eu, 0x91267E8Au},
      {"bytes 31 to 0", Counting(31, -1), 0x113FDB5Cu, 0x9AB0EF72u},
  };
  for (const Vector& v : vectors) {
    EXPECT_EQ(Crc32c(v.input), v.crc32c) << v.name;
    EXPECT_EQ(Crc32(v.input), v.crc32) << v.name;
  }
}

}  // namespace
