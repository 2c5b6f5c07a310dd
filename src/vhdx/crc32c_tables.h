// The eight CRC-32C lookup tables, computed at compile time from the reflected
// polynomial. T[0] is the byte-at-a-time table; T[k][n] is the effect of the
// byte n followed by k zero bytes.
#pragma once

#include <array>
#include <cstdint>

namespace vhdx_inspect::detail::vhdx {

inline constexpr std::uint32_t kCrc32cPolynomialReflected = 0x82F63B78;

using Crc32cTables = std::array<std::array<std::uint32_t, 256>, 8>;

constexpr Crc32cTables MakeCrc32cTables() {
  Crc32cTables t{};
  for (std::uint32_t n = 0; n < 256; ++n) {
    std::uint32_t c = n;
    for (int bit = 0; bit < 8; ++bit) {
      c = (c & 1) ? (c >> 1) ^ kCrc32cPolynomialReflected : c >> 1;
    }
    t[0][n] = c;
  }
  for (std::size_t k = 1; k < 8; ++k) {
    for (std::size_t n = 0; n < 256; ++n) {
      t[k][n] = (t[k - 1][n] >> 8) ^ t[0][t[k - 1][n] & 0xFF];
    }
  }
  return t;
}

inline constexpr Crc32cTables kCrc32cTables = MakeCrc32cTables();

static_assert(kCrc32cTables[0][1] == 0xF26B8303);
static_assert(kCrc32cTables[1][1] == 0x13A29877);
static_assert(kCrc32cTables[7][1] == 0x493C7D27);

}  // namespace vhdx_inspect::detail::vhdx
