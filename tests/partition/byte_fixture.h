// Little-endian writes into test buffers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace vhdx_inspect::detail::partition::testing {

inline void PutLittleEndian(std::span<std::byte> bytes, std::size_t offset, std::uint64_t value, std::size_t width) {
  for (std::size_t i = 0; i < width; ++i) bytes[offset + i] = static_cast<std::byte>(value >> (8 * i));
}
inline void Put16(std::span<std::byte> b, std::size_t o, std::uint16_t v) { PutLittleEndian(b, o, v, 2); }
inline void Put32(std::span<std::byte> b, std::size_t o, std::uint32_t v) { PutLittleEndian(b, o, v, 4); }
inline void Put64(std::span<std::byte> b, std::size_t o, std::uint64_t v) { PutLittleEndian(b, o, v, 8); }

inline void PutText(std::span<std::byte> b, std::size_t o, std::string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) b[o + i] = static_cast<std::byte>(text[i]);
}

// UTF-16LE code units, one per character of `text`.
inline void PutUtf16(std::span<std::byte> b, std::size_t o, std::u16string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) Put16(b, o + 2 * i, text[i]);
}

}  // namespace vhdx_inspect::detail::partition::testing
