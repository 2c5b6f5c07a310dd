// How a number is written to the report stream.
//
// The base and the show-base flag of the output stream are state that lasts
// across lines and across images, and the text of later lines depends on it.
// Every number goes through one of these helpers, whose name says what it
// leaves behind, so that the state is visible at each place that writes one.
//
//   out << "Label: " << HexWithPrefix(value) << std::endl;
#pragma once

#include <charconv>
#include <cstdint>
#include <ios>
#include <iterator>
#include <ostream>
#include <type_traits>

namespace vhdx_inspect::views::text {
namespace detail {

// Bytes and 16-bit values are written as numbers, never as characters.
template <typename T>
constexpr auto AsNumber(T value) {
  if constexpr (sizeof(T) < sizeof(int)) {
    return static_cast<unsigned int>(value);
  } else {
    return value;
  }
}

// Writes `value` as the stream's own number formatting would, in the base
// and with the prefix flag in force, but through std::to_chars instead of
// the locale's number facet, which costs several times the characters it
// writes: decimal, or lower-case hexadecimal with "0x" before a non-zero
// value when the prefix flag is on (a negative value in hexadecimal as its
// two's complement). Numbers are always written in the classic form: the
// report never uses digit grouping. A width, upper case, an explicit plus
// sign or octal go the general way.
template <typename T>
void WriteNumber(std::ostream& out, T value) {
  static_assert(std::is_integral_v<T> && sizeof(T) <= 8);
  const std::ios_base::fmtflags flags = out.flags();
  const std::ios_base::fmtflags base = flags & std::ios_base::basefield;
  constexpr std::ios_base::fmtflags kGeneral = std::ios_base::uppercase | std::ios_base::showpos;
  if (out.width() != 0 || (flags & kGeneral) || (base != std::ios_base::dec && base != std::ios_base::hex)) {
    out << value;
    return;
  }
  char text[22];  // "0x" and 16 hexadecimal digits, or "-" and 19 decimal digits, or 20 decimal digits
  char* const digits = text + 2;
  char* first = digits;
  std::to_chars_result written{};
  if (base == std::ios_base::hex) {
    written = std::to_chars(digits, std::end(text), static_cast<std::make_unsigned_t<T>>(value), 16);
    if ((flags & std::ios_base::showbase) && value != 0) {
      first -= 2;
      first[0] = '0';
      first[1] = 'x';
    }
  } else {
    written = std::to_chars(digits, std::end(text), value);
  }
  out.write(first, written.ptr - first);
}

enum class Style { kCurrentBase, kHexWithPrefix, kHexWithPrefixThenDecimal, kHexKeepingPrefixFlag, kDecimal };

template <typename T, Style S>
struct Formatted {
  T value;
  friend std::ostream& operator<<(std::ostream& out, const Formatted& f) {
    if constexpr (S == Style::kHexWithPrefix || S == Style::kHexWithPrefixThenDecimal) {
      out << std::hex << std::showbase;
    } else if constexpr (S == Style::kHexKeepingPrefixFlag) {
      out << std::hex;
    } else if constexpr (S == Style::kDecimal) {
      out << std::dec;
    }
    WriteNumber(out, AsNumber(f.value));
    if constexpr (S == Style::kHexWithPrefixThenDecimal) out << std::dec;
    return out;
  }
};

}  // namespace detail

// In whatever base, with or without the prefix, earlier output left in force.
template <typename T>
constexpr auto InCurrentBase(T value) {
  return detail::Formatted<T, detail::Style::kCurrentBase>{value};
}

// Hexadecimal with the "0x" prefix (zero as a bare 0); leaves both in force.
template <typename T>
constexpr auto HexWithPrefix(T value) {
  return detail::Formatted<T, detail::Style::kHexWithPrefix>{value};
}

// Hexadecimal with the "0x" prefix, then back to decimal (the prefix flag stays on).
template <typename T>
constexpr auto HexWithPrefixThenDecimal(T value) {
  return detail::Formatted<T, detail::Style::kHexWithPrefixThenDecimal>{value};
}

// Hexadecimal, leaving the prefix flag as it was; hexadecimal stays in force.
template <typename T>
constexpr auto HexKeepingPrefixFlag(T value) {
  return detail::Formatted<T, detail::Style::kHexKeepingPrefixFlag>{value};
}

// Decimal; leaves decimal in force.
template <typename T>
constexpr auto Decimal(T value) {
  return detail::Formatted<T, detail::Style::kDecimal>{value};
}

}  // namespace vhdx_inspect::views::text
