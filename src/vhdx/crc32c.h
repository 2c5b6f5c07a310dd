// CRC-32C (Castagnoli), the checksum of the VHDX headers and region tables.
#pragma once

#include <cstdint>

namespace vhdx_inspect::detail::vhdx {

// The CRC-32C register after `data`, starting from `initial` (used as given,
// not complemented first), returned complemented. With an initial value of
// 0xFFFFFFFF this is the standard CRC-32C of the bytes. Slicing-by-8, with a
// lead-in that brings the read position to a 4-byte boundary.
std::uint32_t crc32c(std::uint32_t initial, const void* data, std::uint32_t length);

// The same function, one byte at a time: the reference the fast routine is
// measured and tested against.
std::uint32_t Crc32cByteAtATime(std::uint32_t initial, const void* data, std::uint32_t length);

}  // namespace vhdx_inspect::detail::vhdx
