// The narrow form of a wide name in the ANSI code page 1252 (wine's under the
// tests' locale): exact for a name within the code page; "?" in place of each
// character outside it, never a look-alike, and marked inexact.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "common/platform/narrow_arguments.h"

namespace {

TEST(NarrowName, CharactersOutsideTheCodePageBecomeQuestionMarks) {
  if (::GetACP() != 1252) GTEST_SKIP() << "the cases are written for code page 1252, not " << ::GetACP();
  struct Case {
    std::wstring wide;
    std::string narrow;
    bool exact;
  };
  const Case cases[] = {
      {L"ma.vhdx", "ma.vhdx", true},
      {L"caf\u00E9.vhdx", "caf\xE9.vhdx", true},          // é is E9 in code page 1252
      {L"C:\\x\\\u20AC.vhdx", "C:\\x\\\x80.vhdx", true},  // the euro sign is 80
      {L"what?", "what?", true},                          // a "?" of its own is exact
      {L"m\u0101.vhdx", "m?.vhdx", false},                // ā, whose best fit is "a"
      {L"\uFF0Dp", "?p", false},                          // the fullwidth hyphen, best fit "-"
      {L"\u65E5\u672C.vhdx", "??.vhdx", false},           // no look-alike at all
      {L"", "", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.narrow);
    const vhdx_programs::NarrowName name = vhdx_programs::NarrowFormOf(c.wide);
    EXPECT_EQ(name.text, c.narrow);
    EXPECT_EQ(name.exact, c.exact);
  }
  EXPECT_EQ(vhdx_programs::kInexactNameStatus, vhdx_inspect::detail::platform::ErrorCode{ERROR_INVALID_NAME});
}

}  // namespace
