// UTF-16 names and file lists from images, as UTF-8: pairs joined, lone
// surrogates replaced, never invalid UTF-8.
#include "encoding/utf16.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace vhdx_inspect::detail::encoding {
namespace {

TEST(Utf16ToUtf8, EncodesEachLengthAndReplacesLoneSurrogates) {
  struct Case {
    const char* what;
    std::vector<std::uint16_t> units;
    std::string utf8;
  };
  const Case cases[] = {
      {"empty", {}, ""},
      {"ascii", {'E', 'F', 'I'}, "EFI"},
      {"two bytes", {0x00E9}, "\xC3\xA9"},
      {"three bytes", {0x65E5, 0x672C}, "\xE6\x97\xA5\xE6\x9C\xAC"},
      {"a pair", {0xD83D, 0xDE00}, "\xF0\x9F\x98\x80"},
      {"a lone high surrogate at the end", {'a', 0xD800}, "a\xEF\xBF\xBD"},
      {"a lone low surrogate",
       {0xDC00, 'b'},
       "\xEF\xBF\xBD"
       "b"},
      {"two high surrogates", {0xD800, 0xD801, 0xDC01}, "\xEF\xBF\xBD\xF0\x90\x90\x81"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(Utf16ToUtf8(c.units), c.utf8);
  }
}

TEST(Utf16LeBytesToUtf8, ReadsLittleEndianUnitsAndIgnoresAnOddLastByte) {
  const std::vector<std::byte> bytes{std::byte{0xE9}, std::byte{0x00}, std::byte{0x16}, std::byte{0x04},
                                     std::byte{0x41}};
  EXPECT_EQ(Utf16LeBytesToUtf8(bytes), "\xC3\xA9\xD0\x96");
}

}  // namespace
}  // namespace vhdx_inspect::detail::encoding
