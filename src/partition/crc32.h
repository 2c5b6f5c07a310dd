// CRC-32 of IEEE 802.3 (reflected polynomial 0xEDB88320), the checksum of GPT
// headers and partition entry arrays. Byte-wise and table-driven.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace vhdx_inspect::detail::partition {

// The CRC-32 of `bytes`; 0 for no bytes.
std::uint32_t Crc32(std::span<const std::byte> bytes);

// The CRC-32 of `structure` with the 4-byte field at `fieldOffset` taken as
// zeros, without changing the structure.
std::uint32_t Crc32SkipField(std::span<const std::byte> structure, std::size_t fieldOffset);

}  // namespace vhdx_inspect::detail::partition
