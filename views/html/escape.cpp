#include "views/html/escape.h"

#include <cstddef>
#include <cstdint>

namespace vhdx_inspect::views::html {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

// The UTF-8 form of a code point from U+0800 to U+FFFF (three bytes).
void AppendThreeBytes(std::string& out, std::uint32_t codePoint) {
  out += static_cast<char>(0xE0 | (codePoint >> 12));
  out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
  out += static_cast<char>(0x80 | (codePoint & 0x3F));
}

// The length of the well-formed UTF-8 sequence that starts `text` at `at`
// (2 to 4), or the number of bytes that form the maximal part of a sequence
// that cannot be completed (at least 1), negated. Follows the Unicode
// standard's table of well-formed byte sequences (Table 3-7).
int SequenceAt(std::string_view text, std::size_t at) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  int length = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
  } else {
    return -1;
  }
  for (int i = 1; i < length; ++i) {
    const std::size_t next = at + static_cast<std::size_t>(i);
    if (next >= text.size()) return -i;
    const unsigned char continuation = byte(next);
    if (continuation < low || continuation > high) return -i;
    low = 0x80;
    high = 0xBF;
  }
  return length;
}

}  // namespace

void AppendEscaped(std::string& out, std::string_view text) {
  std::size_t at = 0;
  while (at < text.size()) {
    const auto byte = static_cast<unsigned char>(text[at]);
    if (byte < 0x80) {
      switch (byte) {
        case '&':
          out += "&amp;";
          break;
        case '<':
          out += "&lt;";
          break;
        case '>':
          out += "&gt;";
          break;
        case '"':
          out += "&quot;";
          break;
        case '\'':
          out += "&#39;";
          break;
        case 0x7F:
          AppendThreeBytes(out, 0x2421);
          break;
        default:
          if (byte < 0x20) {
            AppendThreeBytes(out, 0x2400 + byte);
          } else {
            out += static_cast<char>(byte);
          }
      }
      ++at;
      continue;
    }
    const int length = SequenceAt(text, at);
    if (length < 0) {
      out += kReplacement;
      at += static_cast<std::size_t>(-length);
      continue;
    }
    // U+0080-U+009F: C2 80 to C2 9F.
    if (byte == 0xC2 && static_cast<unsigned char>(text[at + 1]) <= 0x9F) {
      out += kReplacement;
    } else {
      out.append(text.substr(at, static_cast<std::size_t>(length)));
    }
    at += static_cast<std::size_t>(length);
  }
}

std::string EscapeHtml(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  AppendEscaped(out, text);
  return out;
}

}  // namespace vhdx_inspect::views::html
