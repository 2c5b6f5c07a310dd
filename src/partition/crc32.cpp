#include "partition/crc32.h"

#include <algorithm>
#include <array>

namespace vhdx_inspect::detail::partition {
namespace {

constexpr std::uint32_t kPolynomialReflected = 0xEDB88320;

constexpr std::array<std::uint32_t, 256> MakeTable() {
  std::array<std::uint32_t, 256> table{};
  for (std::uint32_t i = 0; i < 256; ++i) {
    std::uint32_t c = i;
    for (int bit = 0; bit < 8; ++bit) c = (c & 1) ? (c >> 1) ^ kPolynomialReflected : c >> 1;
    table[i] = c;
  }
  return table;
}

constexpr std::array<std::uint32_t, 256> kTable = MakeTable();
static_assert(kTable[1] == 0x77073096 && kTable[255] == 0x2D02EF8D);

constexpr std::uint32_t Update(std::uint32_t crc, std::span<const std::byte> bytes) {
  for (const std::byte b : bytes) crc = (crc >> 8) ^ kTable[(crc ^ std::to_integer<std::uint32_t>(b)) & 0xFF];
  return crc;
}

}  // namespace

std::uint32_t Crc32(std::span<const std::byte> bytes) { return Update(0xFFFFFFFF, bytes) ^ 0xFFFFFFFF; }

std::uint32_t Crc32SkipField(std::span<const std::byte> structure, std::size_t fieldOffset) {
  constexpr std::array<std::byte, 4> kZeroField{};
  const std::size_t before = std::min(fieldOffset, structure.size());
  const std::size_t after = std::min(fieldOffset + kZeroField.size(), structure.size());
  std::uint32_t crc = Update(0xFFFFFFFF, structure.first(before));
  crc = Update(crc, kZeroField);
  crc = Update(crc, structure.subspan(after));
  return crc ^ 0xFFFFFFFF;
}

}  // namespace vhdx_inspect::detail::partition
