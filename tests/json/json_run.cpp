#include "json_run.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "support/wine_run.h"

namespace json_test {
namespace {

// VHDX_INSPECT_JSON_EXE; otherwise, when VHDX_INSPECT_EXE names the text
// program's .exe (the e2e label under scripts/windows-test.sh), the JSON
// program beside it: in the build folder's json/ or, as in the zip, in the
// same folder.
const std::string& WindowsProgram() {
  static const std::string exe = []() -> std::string {
    const char* named = std::getenv("VHDX_INSPECT_JSON_EXE");
    if (named != nullptr && *named != '\0') return named;
    const char* text = std::getenv("VHDX_INSPECT_EXE");
    if (text == nullptr || *text == '\0') return "";
    const std::filesystem::path folder = std::filesystem::path(text).parent_path();
    for (const std::filesystem::path& candidate :
         {folder.parent_path() / "json" / "vhdx-inspect-json.exe", folder / "vhdx-inspect-json.exe"}) {
      if (std::filesystem::exists(candidate)) return candidate.string();
    }
    return (folder / "vhdx-inspect-json.exe").string();
  }();
  return exe;
}

}  // namespace

bool WindowsJsonProgramUnderTest() { return !WindowsProgram().empty(); }

testsupport::ProgramRun RunJson(const std::vector<std::string>& arguments, const testsupport::RunLimits& limits) {
  return testsupport::RunUnderTest({VHDX_INSPECT_JSON_PATH, WindowsProgram()}, arguments, limits);
}

std::vector<nlohmann::json> JsonLines(const std::string& out) {
  std::vector<nlohmann::json> objects;
  EXPECT_TRUE(out.empty() || out.back() == '\n') << "the output does not end with a line end:\n" << out;
  std::size_t from = 0;
  while (from < out.size()) {
    std::size_t end = out.find('\n', from);
    if (end == std::string::npos) end = out.size();
    const std::string line = out.substr(from, end - from);
    from = end + 1;
    try {
      objects.push_back(nlohmann::json::parse(line));
      EXPECT_TRUE(objects.back().is_object()) << line;
    } catch (const nlohmann::json::exception& e) {
      ADD_FAILURE() << "not a line of JSON (" << e.what() << "):\n" << line;
    }
  }
  return objects;
}

nlohmann::json OnlyObject(const testsupport::ProgramRun& run) {
  std::vector<nlohmann::json> objects = JsonLines(run.out);
  EXPECT_EQ(objects.size(), 1u) << run.out << run.err;
  return objects.empty() ? nlohmann::json::object() : objects.front();
}

std::string WithReplacementCharacters(const std::string& text) {
  // The decoder of nlohmann/json's dump does the same; an independent one
  // here, after the Unicode standard's "maximal subpart" practice.
  static const std::string kReplacement = "\xEF\xBF\xBD";
  std::string result;
  std::size_t i = 0;
  const auto byte = [&text](std::size_t at) { return static_cast<unsigned char>(text[at]); };
  while (i < text.size()) {
    const unsigned char lead = byte(i);
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;
    if (lead < 0x80) {
      result += text[i++];
      continue;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      if (lead == 0xE0) low = 0xA0;
      if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;
    } else {
      result += kReplacement;
      ++i;
      continue;
    }
    std::size_t taken = 1;
    while (taken < length && i + taken < text.size()) {
      const unsigned char next = byte(i + taken);
      const unsigned char lo = taken == 1 ? low : 0x80, hi = taken == 1 ? high : 0xBF;
      if (next < lo || next > hi) break;
      ++taken;
    }
    if (taken == length) {
      result.append(text, i, length);
    } else {
      result += kReplacement;
    }
    i += taken;
  }
  return result;
}

}  // namespace json_test
