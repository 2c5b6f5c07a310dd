#include "encoding/utf16.h"

namespace vhdx_inspect::detail::encoding {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Writes `c` as UTF-8 at `out` and returns the position after it.
char* PutUtf8(char* out, char32_t c) {
  if (c < 0x80) {
    *out++ = static_cast<char>(c);
  } else if (c < 0x800) {
    *out++ = static_cast<char>(0xC0 | (c >> 6));
    *out++ = static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    *out++ = static_cast<char>(0xE0 | (c >> 12));
    *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    *out++ = static_cast<char>(0x80 | (c & 0x3F));
  } else {
    *out++ = static_cast<char>(0xF0 | (c >> 18));
    *out++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    *out++ = static_cast<char>(0x80 | (c & 0x3F));
  }
  return out;
}

constexpr bool IsHighSurrogate(std::uint16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
constexpr bool IsLowSurrogate(std::uint16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// Decodes the units that `unitAt(i)` gives for i < count, into a buffer
// sized for the longest result (three bytes a unit) that is then cut to
// size: every partition name and image file list goes through here, and
// appending a character at a time cost 2,000 more instructions an image
// (callgrind, directory mode).
template <typename UnitAt>
std::string Decode(std::size_t count, UnitAt unitAt) {
  std::string text(3 * count, '\0');
  char* const first = text.data();
  char* out = first;
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint16_t unit = unitAt(i);
    if (unit < 0x80) {
      *out++ = static_cast<char>(unit);
    } else if (IsHighSurrogate(unit) && i + 1 < count && IsLowSurrogate(unitAt(i + 1))) {
      const std::uint16_t low = unitAt(++i);
      out = PutUtf8(out, 0x10000 + ((char32_t{unit} - 0xD800) << 10) + (char32_t{low} - 0xDC00));
    } else if (IsHighSurrogate(unit) || IsLowSurrogate(unit)) {
      out = PutUtf8(out, kReplacement);
    } else {
      out = PutUtf8(out, unit);
    }
  }
  text.resize(static_cast<std::size_t>(out - first));
  return text;
}

}  // namespace

std::string Utf16ToUtf8(std::span<const std::uint16_t> units) {
  return Decode(units.size(), [units](std::size_t i) { return units[i]; });
}

std::string Utf16LeBytesToUtf8(std::span<const std::byte> bytes) {
  return Decode(bytes.size() / 2, [bytes](std::size_t i) {
    return static_cast<std::uint16_t>(std::to_integer<unsigned>(bytes[2 * i]) |
                                      (std::to_integer<unsigned>(bytes[2 * i + 1]) << 8));
  });
}

}  // namespace vhdx_inspect::detail::encoding
