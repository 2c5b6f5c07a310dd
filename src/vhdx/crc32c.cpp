#include "vhdx/crc32c.h"

#include <cstddef>
#include <cstring>

#include "vhdx/crc32c_tables.h"

namespace vhdx_inspect::detail::vhdx {
namespace {

constexpr const auto& T = kCrc32cTables;

inline std::uint32_t UpdateByte(std::uint32_t c, std::uint8_t b) { return T[0][(c ^ b) & 0xFF] ^ (c >> 8); }

inline std::uint32_t LoadWordLittleEndian(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

}  // namespace

std::uint32_t crc32c(std::uint32_t initial, const void* data, std::uint32_t length) {
  const auto* p = static_cast<const std::uint8_t*>(data);
  std::uint32_t c = initial;

  const auto misalignment = reinterpret_cast<std::uintptr_t>(p) & 3;
  const std::uint32_t leadIn = misalignment == 0 ? 0 : static_cast<std::uint32_t>(4 - misalignment);
  const std::uint32_t head = leadIn < length ? leadIn : length;
  for (std::uint32_t i = 0; i < head; ++i) c = UpdateByte(c, *p++);

  std::uint32_t remaining = length - head;
  for (std::uint32_t blocks = remaining / 8; blocks > 0; --blocks, p += 8) {
    c ^= LoadWordLittleEndian(p);
    c = T[7][c & 0xFF] ^ T[6][(c >> 8) & 0xFF] ^ T[5][(c >> 16) & 0xFF] ^ T[4][c >> 24] ^ T[3][p[4]] ^ T[2][p[5]] ^
        T[1][p[6]] ^ T[0][p[7]];
  }

  for (remaining %= 8; remaining > 0; --remaining) c = UpdateByte(c, *p++);
  return c ^ 0xFFFFFFFF;
}

std::uint32_t Crc32cByteAtATime(std::uint32_t initial, const void* data, std::uint32_t length) {
  const auto* p = static_cast<const std::uint8_t*>(data);
  std::uint32_t c = initial;
  for (std::uint32_t i = 0; i < length; ++i) c = UpdateByte(c, p[i]);
  return c ^ 0xFFFFFFFF;
}

}  // namespace vhdx_inspect::detail::vhdx
