// UTF-16 text from images, as UTF-8.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace vhdx_inspect::detail::encoding {

// Appends `unit` sequences as UTF-8; a lone surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::span<const std::uint16_t> units);

// The same for little-endian code units stored as bytes; an odd last byte
// is ignored.
std::string Utf16LeBytesToUtf8(std::span<const std::byte> bytes);

}  // namespace vhdx_inspect::detail::encoding
