#include "both_programs.h"

#include <gtest/gtest.h>

#include "e2e/run_tool.h"
#include "json/json_run.h"

namespace both_programs {

testsupport::ProgramRun Program::Run(const std::vector<std::string>& arguments,
                                     const testsupport::RunLimits& limits) const {
  return json ? json_test::RunJson(arguments, limits) : e2e::RunTool(arguments, limits);
}

const std::vector<Program>& BothPrograms() {
  static const std::vector<Program> programs{{"vhdx-inspect", false}, {"vhdx-inspect-json", true}};
  return programs;
}

std::string AsJsonShowsIt(const std::string& path) {
  // The Windows program shows a name as UTF-8 from its UTF-16 form, which is
  // the UTF-8 name the test gave; on Linux a name is its bytes.
  if (json_test::WindowsJsonProgramUnderTest()) return path;
  return json_test::WithReplacementCharacters(path);
}

void ExpectReported(const Program& program, const testsupport::ProgramRun& run, const std::vector<Reported>& reported) {
  SCOPED_TRACE(program.name);
  if (!program.json) {
    std::string out;
    for (const Reported& item : reported) out += item.verdict.empty() ? item.text + "\n" : item.text;
    EXPECT_EQ(run.out, out);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.status, 0);
    return;
  }
  std::vector<std::string> objects;
  std::vector<std::string> expectedObjects;
  std::string err;
  bool problem = false;
  bool allSound = true;
  for (const Reported& item : reported) {
    if (item.verdict.empty()) {
      err += std::string(program.name) + ": " + item.text + "\n";
      problem = true;
    } else {
      expectedObjects.push_back(AsJsonShowsIt(item.path) + " " + item.verdict);
      allSound = allSound && item.verdict == "sound";
    }
  }
  for (const nlohmann::json& object : json_test::JsonLines(run.out)) {
    objects.push_back(object.value("path", "(no path)") + " " + object.value("verdict", "(no verdict)"));
  }
  EXPECT_EQ(objects, expectedObjects);
  EXPECT_EQ(run.err, err);
  EXPECT_EQ(run.status,
            problem ? json_test::kFolderNotScanned : (allSound ? json_test::kAllSound : json_test::kImageNotSound));
}

}  // namespace both_programs
