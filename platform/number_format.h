// How a number is written to the report stream.
//
// The base and the show-base flag of the output stream are state that lasts
// across lines and across images, and the text of later lines depends on it.
// Every number goes through one of these helpers, whose name says what it
// leaves behind, so that the state is visible at each place that writes one.
//
//   out << "Label: " << HexWithPrefix(value) << std::endl;
#pragma once

#include <cstdint>
#include <ios>
#include <ostream>
#include <type_traits>

namespace platform {
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
    out << AsNumber(f.value);
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

}  // namespace platform
