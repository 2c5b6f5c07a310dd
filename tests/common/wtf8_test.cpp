// Names carried as WTF-8: every UTF-16 name comes back exactly, valid UTF-8
// is its own WTF-8, and bytes that are neither become U+FFFD.
#include "common/wtf8.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using vhdx_programs::Utf16FromWtf8;
using vhdx_programs::Wtf8FromUtf16;

struct Case {
  const char* what;
  std::u16string units;
  std::string text;
};

class Wtf8RoundTrip : public ::testing::TestWithParam<Case> {};

TEST_P(Wtf8RoundTrip, BothWays) {
  const Case& c = GetParam();
  EXPECT_EQ(Wtf8FromUtf16(c.units), c.text);
  EXPECT_EQ(Utf16FromWtf8(c.text), c.units);
}

INSTANTIATE_TEST_SUITE_P(
    Names, Wtf8RoundTrip,
    ::testing::Values(
        Case{"ascii", u"disk.vhdx", "disk.vhdx"},
        Case{"japanese", u"\u30C7\u30A3\u30B9\u30AF.vhdx", "\xE3\x83\x87\xE3\x82\xA3\xE3\x82\xB9\xE3\x82\xAF.vhdx"},
        Case{"greek", u"\u03B4\u03AF\u03C3\u03BA\u03BF\u03C2", "\xCE\xB4\xCE\xAF\xCF\x83\xCE\xBA\xCE\xBF\xCF\x82"},
        Case{"an emoji outside the basic plane", u"\U0001F4BE.vhdx", "\xF0\x9F\x92\xBE.vhdx"},
        Case{"an unpaired high surrogate", std::u16string{u'a', char16_t(0xD800), u'b'},
             "a\xED\xA0\x80"
             "b"},
        Case{"an unpaired low surrogate at the end", std::u16string{u'a', char16_t(0xDC00)}, "a\xED\xB0\x80"},
        Case{"a low surrogate before a high one", std::u16string{char16_t(0xDC00), char16_t(0xD800)},
             "\xED\xB0\x80\xED\xA0\x80"}),
    [](const ::testing::TestParamInfo<Case>& info) {
      std::string name;
      for (const char* c = info.param.what; *c != '\0'; ++c) name += (*c == ' ') ? '_' : *c;
      return name;
    });

TEST(Wtf8, BytesThatAreNotUtf8BecomeReplacementCharacters) {
  EXPECT_EQ(Utf16FromWtf8("a\xFF"
                          "b"),
            (std::u16string{u'a', char16_t(0xFFFD), u'b'}));
  EXPECT_EQ(Utf16FromWtf8("\xC3"), std::u16string(1, char16_t(0xFFFD)));        // cut short
  EXPECT_EQ(Utf16FromWtf8("\xC0\xAF"), (std::u16string(2, char16_t(0xFFFD))));  // overlong
  EXPECT_EQ(Utf16FromWtf8("\xF4\x90\x80\x80").front(), char16_t(0xFFFD));       // past U+10FFFF
}

}  // namespace
