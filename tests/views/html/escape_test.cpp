// The one escaping function of the report page: a table of inputs and the
// exact text the page must hold for each, written from the rules in
// views/html/escape.h.
#include <gtest/gtest.h>

#include <string>

#include "views/html/escape.h"

namespace {

using vhdx_inspect::views::html::EscapeHtml;

struct Case {
  const char* what;
  std::string input;
  std::string expected;
};

const std::string kFffd = "\xEF\xBF\xBD";

class EscapeHtmlTest : public testing::TestWithParam<Case> {};

TEST_P(EscapeHtmlTest, GivesTheTextThePageHolds) {
  const Case& c = GetParam();
  EXPECT_EQ(EscapeHtml(c.input), c.expected) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Table, EscapeHtmlTest,
    testing::Values(Case{"nothing", "", ""}, Case{"plain text", "sound.vhdx", "sound.vhdx"},
                    Case{"markup characters", "&<>\"'", "&amp;&lt;&gt;&quot;&#39;"},
                    Case{"an entity is escaped again, never taken as one", "&amp;&lt;", "&amp;amp;&amp;lt;"},
                    Case{"a script element", "<script>alert(1)</script>", "&lt;script&gt;alert(1)&lt;/script&gt;"},
                    Case{"an attribute breakout", "\"><img src=x onerror=alert(1)>",
                         "&quot;&gt;&lt;img src=x onerror=alert(1)&gt;"},
                    Case{"a single-quoted attribute breakout", "' onmouseover='x", "&#39; onmouseover=&#39;x"},
                    Case{"C0 controls as their pictures", std::string("\t\n\r\x1b", 4) + std::string(1, '\0'),
                         "\xE2\x90\x89\xE2\x90\x8A\xE2\x90\x8D\xE2\x90\x9B\xE2\x90\x80"},
                    Case{"U+001F", "\x1f", "\xE2\x90\x9F"}, Case{"DEL", "\x7f", "\xE2\x90\xA1"},
                    Case{"a C1 control (NEL, U+0085)", "a\xC2\x85z", "a" + kFffd + "z"},
                    Case{"U+00A0 is kept", "\xC2\xA0", "\xC2\xA0"},
                    Case{"two-, three- and four-byte characters", "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80",
                         "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"},
                    Case{"U+FFFD itself", kFffd, kFffd}, Case{"a stray continuation byte", "a\x80z", "a" + kFffd + "z"},
                    Case{"a byte that never starts UTF-8", "\xFF", kFffd},
                    Case{"a two-byte sequence cut by the end", "\xC3", kFffd},
                    Case{"a three-byte sequence cut short, then ASCII", "\xE2\x82<", kFffd + "&lt;"},
                    Case{"a four-byte sequence cut by the end", "\xF0\x9F\x98", kFffd},
                    Case{"an overlong slash", "\xC0\xAF", kFffd + kFffd},
                    Case{"an overlong three-byte form", "\xE0\x80\xAF", kFffd + kFffd + kFffd},
                    Case{"a surrogate (CESU/WTF-8)", "\xED\xA0\x80", kFffd + kFffd + kFffd},
                    Case{"above U+10FFFF", "\xF4\x90\x80\x80", kFffd + kFffd + kFffd + kFffd},
                    Case{"U+10FFFF is kept", "\xF4\x8F\xBF\xBF", "\xF4\x8F\xBF\xBF"},
                    Case{"a lead byte followed by markup", "\xE2<script>", kFffd + "&lt;script&gt;"}));

}  // namespace
