// The two checksums of a plugin VHDX image, computed bit by bit.
//
// These are deliberately the slowest, plainest forms of the two CRCs, kept
// apart from the tool's own checksum code so that an image built here checks
// that code instead of agreeing with it by construction.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace testsupport {

// CRC-32C (Castagnoli, reflected polynomial 0x82F63B78, initial value and
// final XOR 0xFFFFFFFF): the checksum of the VHDX headers and region tables.
std::uint32_t Crc32c(std::span<const std::byte> bytes);

// CRC-32 of IEEE 802.3 (reflected polynomial 0xEDB88320, initial value and
// final XOR 0xFFFFFFFF): the checksum of GPT headers and entry arrays.
std::uint32_t Crc32(std::span<const std::byte> bytes);

}  // namespace testsupport
