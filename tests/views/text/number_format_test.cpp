// How numbers are written: each helper's text, the stream state it leaves for
// the next value, and agreement with the standard library's own formatting of
// the same value under the same flags.
#include "views/text/number_format.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <iomanip>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

namespace vhdx_inspect::views::text {
namespace {

template <typename Formatted>
std::string Write(Formatted formatted, std::ios_base::fmtflags flags = std::ios_base::dec) {
  std::ostringstream out;
  out.flags(flags);
  out << formatted;
  return out.str();
}

const std::ios_base::fmtflags kDec = std::ios_base::dec;
const std::ios_base::fmtflags kHex = std::ios_base::hex;
const std::ios_base::fmtflags kHexPrefix = std::ios_base::hex | std::ios_base::showbase;
const std::ios_base::fmtflags kDecPrefix = std::ios_base::dec | std::ios_base::showbase;

TEST(NumberFormat, EachHelperWritesTheDocumentedText) {
  struct Case {
    std::string written;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {Write(HexWithPrefix(std::uint64_t{0x4400})), "0x4400"},
      {Write(HexWithPrefix(std::uint32_t{0})), "0"},  // zero never gets the prefix
      {Write(HexWithPrefix(std::uint64_t{0xFFFFFFFFFFFFFFFF})), "0xffffffffffffffff"},
      {Write(HexWithPrefix(std::int64_t{-1})), "0xffffffffffffffff"},  // two's complement
      {Write(HexWithPrefix(std::int32_t{-2})), "0xfffffffe"},
      {Write(HexWithPrefix(std::uint8_t{0xEE})), "0xee"},  // a byte is a number, not a character
      {Write(HexWithPrefix(std::uint16_t{0xAA55})), "0xaa55"},
      {Write(HexWithPrefixThenDecimal(std::uint32_t{0x2000000})), "0x2000000"},
      {Write(HexKeepingPrefixFlag(std::uint64_t{0x100000})), "100000"},  // prefix flag off at the start
      {Write(HexKeepingPrefixFlag(std::uint64_t{0x100000}), kHexPrefix), "0x100000"},
      {Write(Decimal(std::size_t{128}), kHexPrefix), "128"},
      {Write(InCurrentBase(std::uint32_t{22})), "22"},
      {Write(InCurrentBase(std::uint32_t{22}), kHexPrefix), "0x16"},
      {Write(InCurrentBase(std::uint32_t{22}), kHex), "16"},
      {Write(InCurrentBase(std::int32_t{33554432}), kDecPrefix), "33554432"},  // no prefix in decimal
      {Write(InCurrentBase(std::int64_t{-5})), "-5"},
      {Write(InCurrentBase(std::numeric_limits<std::int64_t>::min())), "-9223372036854775808"},
      {Write(InCurrentBase(std::numeric_limits<std::uint64_t>::max())), "18446744073709551615"},
      {Write(InCurrentBase(std::uint8_t{7})), "7"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.written, c.expected);
}

TEST(NumberFormat, EachHelperLeavesTheBaseItsNameSays) {
  std::ostringstream out;
  out << HexWithPrefixThenDecimal(std::uint32_t{255}) << ' ' << InCurrentBase(255);
  out << ' ' << HexWithPrefix(std::uint32_t{255}) << ' ' << InCurrentBase(255);
  out << ' ' << Decimal(255) << ' ' << InCurrentBase(255);
  out << ' ' << HexKeepingPrefixFlag(255) << ' ' << InCurrentBase(255);
  EXPECT_EQ(out.str(), "0xff 255 0xff 0xff 255 255 0xff 0xff");  // the prefix flag, once on, stays on
}

// The same value under the same flags gives the same text as the standard
// library's number formatting, for every integer type the report writes.
template <typename T>
void ExpectSameAsStandardLibrary(const std::vector<T>& values) {
  for (const std::ios_base::fmtflags flags : {kDec, kHex, kHexPrefix, kDecPrefix}) {
    for (const T value : values) {
      std::ostringstream standard;
      standard.flags(flags);
      standard << detail::AsNumber(value);
      SCOPED_TRACE(testing::Message() << "flags " << flags << ", expected " << standard.str());
      EXPECT_EQ(Write(InCurrentBase(value), flags), standard.str());
    }
  }
}

template <typename T>
std::vector<T> Samples() {
  std::vector<T> values = {0, 1, 9, 10, 15, 16, 255, std::numeric_limits<T>::max(), std::numeric_limits<T>::min()};
  if constexpr (std::is_signed_v<T>) values.insert(values.end(), {T(-1), T(-9), T(-10), T(-16)});
  std::uint64_t x = 0x9E3779B97F4A7C15;
  for (int i = 0; i < 200; ++i) {
    x ^= x << 13, x ^= x >> 7, x ^= x << 17;
    values.push_back(static_cast<T>(x >> (i % 64)));
  }
  return values;
}

TEST(NumberFormat, AgreesWithTheStandardLibrary) {
  ExpectSameAsStandardLibrary(Samples<std::uint8_t>());
  ExpectSameAsStandardLibrary(Samples<std::uint16_t>());
  ExpectSameAsStandardLibrary(Samples<std::uint32_t>());
  ExpectSameAsStandardLibrary(Samples<std::int32_t>());
  ExpectSameAsStandardLibrary(Samples<std::uint64_t>());
  ExpectSameAsStandardLibrary(Samples<std::int64_t>());
}

TEST(NumberFormat, AWidthUpperCaseOrOctalGoTheStandardWay) {
  std::ostringstream out;
  out << std::setw(6) << std::setfill('.') << InCurrentBase(42) << ' ';
  out << std::uppercase << std::hex << std::showbase << InCurrentBase(0xABCu) << ' ' << std::nouppercase;
  out << std::oct << InCurrentBase(8u) << ' ' << std::dec << std::showpos << InCurrentBase(5);
  EXPECT_EQ(out.str(), "....42 0XABC 010 +5");
}

TEST(NumberFormat, AFailedStreamTakesNoNumber) {
  std::ostringstream out;
  out.setstate(std::ios_base::badbit);
  out << InCurrentBase(12345) << HexWithPrefix(0x77u);
  EXPECT_EQ(out.str(), "");
}

}  // namespace
}  // namespace vhdx_inspect::views::text
