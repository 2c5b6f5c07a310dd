// CRC-32 (IEEE 802.3) from zlib, for the expected checksums of GPT headers and
// entry arrays: computed by a library that shares no code with the checksum
// under test, so a fault in that code cannot hide behind an expectation made
// with it.
#pragma once

#include <zlib.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace vhdx_inspect::detail::partition::testing {

inline std::uint32_t ZlibCrc32(std::span<const std::byte> bytes) {
  const auto* data = reinterpret_cast<const Bytef*>(bytes.data());
  return static_cast<std::uint32_t>(::crc32_z(::crc32_z(0, Z_NULL, 0), data, bytes.size()));
}

// The CRC-32 of `structure` with its 4-byte field at `fieldOffset` as zeros.
inline std::uint32_t ZlibCrc32WithFieldZeroed(std::span<const std::byte> structure, std::size_t fieldOffset) {
  std::vector<std::byte> copy(structure.begin(), structure.end());
  std::fill_n(copy.begin() + static_cast<std::ptrdiff_t>(fieldOffset), 4, std::byte{0});
  return ZlibCrc32(copy);
}

}  // namespace vhdx_inspect::detail::partition::testing
