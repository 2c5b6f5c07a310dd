#include "common/wtf8.h"

#include <cstddef>
#include <cstdint>

namespace vhdx_programs {
namespace {

constexpr char16_t kReplacement = 0xFFFD;

bool IsHighSurrogate(std::uint32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(std::uint32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

void AppendCodePoint(std::uint32_t point, std::string& text) {
  if (point < 0x80) {
    text += static_cast<char>(point);
  } else if (point < 0x800) {
    text += static_cast<char>(0xC0 | (point >> 6));
    text += static_cast<char>(0x80 | (point & 0x3F));
  } else if (point < 0x10000) {
    text += static_cast<char>(0xE0 | (point >> 12));
    text += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
    text += static_cast<char>(0x80 | (point & 0x3F));
  } else {
    text += static_cast<char>(0xF0 | (point >> 18));
    text += static_cast<char>(0x80 | ((point >> 12) & 0x3F));
    text += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
    text += static_cast<char>(0x80 | (point & 0x3F));
  }
}

void AppendUnits(std::uint32_t point, std::u16string& units) {
  if (point < 0x10000) {
    units += static_cast<char16_t>(point);
  } else {
    point -= 0x10000;
    units += static_cast<char16_t>(0xD800 + (point >> 10));
    units += static_cast<char16_t>(0xDC00 + (point & 0x3FF));
  }
}

// The code point of the sequence at `at`, advancing past it; nothing valid
// there: U+FFFD for the one byte.
std::uint32_t NextCodePoint(std::string_view text, std::size_t& at) {
  const auto byte = [&](std::size_t i) { return static_cast<std::uint32_t>(static_cast<unsigned char>(text[i])); };
  const std::uint32_t lead = byte(at);
  std::size_t length = 0;
  std::uint32_t point = 0;
  std::uint32_t least = 0;
  if (lead < 0x80) {
    ++at;
    return lead;
  }
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, point = lead & 0x1F, least = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, point = lead & 0x0F, least = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, point = lead & 0x07, least = 0x10000;
  } else {
    ++at;
    return kReplacement;
  }
  if (text.size() - at < length) {
    ++at;
    return kReplacement;
  }
  for (std::size_t i = 1; i < length; ++i) {
    const std::uint32_t next = byte(at + i);
    if ((next & 0xC0) != 0x80) {
      ++at;
      return kReplacement;
    }
    point = (point << 6) | (next & 0x3F);
  }
  if (point < least || point > 0x10FFFF) {
    ++at;
    return kReplacement;
  }
  at += length;
  return point;
}

}  // namespace

std::string Wtf8FromUtf16(std::u16string_view units) {
  std::string text;
  text.reserve(units.size());
  for (std::size_t i = 0; i < units.size(); ++i) {
    const std::uint32_t unit = units[i];
    if (IsHighSurrogate(unit) && i + 1 < units.size() && IsLowSurrogate(units[i + 1])) {
      AppendCodePoint(0x10000 + ((unit - 0xD800) << 10) + (units[i + 1] - 0xDC00u), text);
      ++i;
    } else {
      AppendCodePoint(unit, text);  // an unpaired surrogate as its own value
    }
  }
  return text;
}

std::u16string Utf16FromWtf8(std::string_view text) {
  std::u16string units;
  units.reserve(text.size());
  for (std::size_t at = 0; at < text.size();) AppendUnits(NextCodePoint(text, at), units);
  return units;
}

}  // namespace vhdx_programs
