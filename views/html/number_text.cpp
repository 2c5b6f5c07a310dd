#include "views/html/number_text.h"

#include <array>
#include <charconv>
#include <cstdio>

namespace vhdx_inspect::views::html {

std::string HexNumber(std::uint64_t value) {
  if (value == 0) return "0";
  std::array<char, 16> digits{};
  const auto result = std::to_chars(digits.data(), digits.data() + digits.size(), value, 16);
  return "0x" + std::string(digits.data(), result.ptr);
}

std::string LengthText(std::uint64_t bytes) {
  static constexpr std::array<const char*, 7> kUnits = {"B", "KiB", "MiB", "GiB", "TiB", "PiB", "EiB"};
  std::size_t unit = 0;
  std::uint64_t amount = bytes;
  while (unit + 1 < kUnits.size() && amount != 0 && amount % 1024 == 0) {
    amount /= 1024;
    ++unit;
  }
  if (unit > 0 || bytes < 10 * 1024) return std::to_string(amount) + " " + kUnits[unit];
  double scaled = static_cast<double>(bytes);
  unit = 0;
  while (unit + 1 < kUnits.size() && scaled >= 1024) {
    scaled /= 1024;
    ++unit;
  }
  std::array<char, 32> text{};
  std::snprintf(text.data(), text.size(), "\xE2\x89\x88%.1f %s", scaled, kUnits[unit]);
  return text.data();
}

}  // namespace vhdx_inspect::views::html
