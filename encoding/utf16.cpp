#include "encoding/utf16.h"

namespace encoding {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

void AppendUtf8(std::string& text, char32_t c) {
  if (c < 0x80) {
    text.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    text.push_back(static_cast<char>(0xC0 | (c >> 6)));
    text.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    text.push_back(static_cast<char>(0xE0 | (c >> 12)));
    text.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    text.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    text.push_back(static_cast<char>(0xF0 | (c >> 18)));
    text.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    text.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    text.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

constexpr bool IsHighSurrogate(std::uint16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
constexpr bool IsLowSurrogate(std::uint16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// Decodes the units that `unitAt(i)` gives for i < count.
template <typename UnitAt>
std::string Decode(std::size_t count, UnitAt unitAt) {
  std::string text;
  text.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint16_t unit = unitAt(i);
    if (IsHighSurrogate(unit) && i + 1 < count && IsLowSurrogate(unitAt(i + 1))) {
      const std::uint16_t low = unitAt(++i);
      AppendUtf8(text, 0x10000 + ((char32_t{unit} - 0xD800) << 10) + (char32_t{low} - 0xDC00));
    } else if (IsHighSurrogate(unit) || IsLowSurrogate(unit)) {
      AppendUtf8(text, kReplacement);
    } else {
      AppendUtf8(text, unit);
    }
  }
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

}  // namespace encoding
