// Which option values are refused as inexact: a value is the whole of an
// argument or its end, and one that may come from an inexact argument is
// shown by that argument's form with "?", never by its look-alikes.
#include "common/platform/narrow_arguments.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace vhdx_programs {
namespace {

TEST(NarrowArguments, ValueOfAnInexactArgumentIsShownWithQuestionMarks) {
  struct Case {
    const char* what;
    std::vector<NarrowArguments::Inexact> inexact;
    std::string value;
    std::optional<std::string> shown;
  };
  const std::vector<Case> cases = {
      {"every argument exact", {}, "ma.vhdx", std::nullopt},
      {"the whole argument", {{"ma.vhdx", "m?.vhdx"}}, "ma.vhdx", "m?.vhdx"},
      {"joined to a short option", {{"-fma.vhdx", "-fm?.vhdx"}}, "ma.vhdx", "m?.vhdx"},
      {"after a long option's =", {{"--vhdx-file=ma.vhdx", "--vhdx-file=m?.vhdx"}}, "ma.vhdx", "m?.vhdx"},
      {"a folder", {{"C:\\Bilder-a", "C:\\Bilder-?"}}, "C:\\Bilder-a", "C:\\Bilder-?"},
      // A look-alike in the option's name: the whole argument is shown.
      {"inexact option name", {{"--vhdx-file=x.vhdx", "--vhdx-f?le=x.vhdx"}}, "x.vhdx", "--vhdx-f?le=x.vhdx"},
      {"another argument is inexact", {{"ma", "m?"}}, "other.vhdx", std::nullopt},
      {"longer than the inexact argument", {{"a.vhdx", "?.vhdx"}}, "ma.vhdx", std::nullopt},
      {"the second of two", {{"x", "?"}, {"ma.vhdx", "m?.vhdx"}}, "ma.vhdx", "m?.vhdx"},
      {"an empty value", {{"ma.vhdx", "m?.vhdx"}}, "", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(NarrowArguments(c.inexact).ShownIfInexact(c.value), c.shown);
  }
}

#ifndef _WIN32
// A POSIX name is its bytes: every narrow form is exact, whatever the bytes.
TEST(NarrowArguments, EveryPosixNameIsExact) {
  for (const std::string name : {"ma.vhdx", "m\xC4\x81.vhdx", "caf\xE9.vhdx", "\xFF\xFE"}) {
    const NarrowName narrow = NarrowFormOf(name);
    EXPECT_TRUE(narrow.exact);
    EXPECT_EQ(narrow.text, name);
  }
  const char* const argv[] = {"vhdx-inspect", "-f", "m\xC4\x81.vhdx"};
  EXPECT_EQ(NarrowArguments::OfThisProcess(3, argv).ShownIfInexact("m\xC4\x81.vhdx"), std::nullopt);
}
#endif

}  // namespace
}  // namespace vhdx_programs
