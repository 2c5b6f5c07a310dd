// Every object the JSON program writes for the corpus validates against the
// published schema (programs/vhdx-inspect-json/vhdx-inspect-json.schema.json), checked by Debian's
// python3-jsonschema through validate_lines.py.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "json_corpus.h"
#include "json_run.h"
#include "support/required_tool.h"
#include "support/scratch_directory.h"

namespace json_test {
namespace {

using testsupport::ScratchDirectory;

// The schema check needs Debian's python3 with python3-jsonschema: without
// them the tests skip (or fail in CI), and with VHDX_WITH_JSONSCHEMA=OFF they
// skip everywhere.
class JsonSchema : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::string_view(VHDX_DEBIAN_PYTHON3).empty()) {
      if (VHDX_JSONSCHEMA_SWITCHED_OFF)
        GTEST_SKIP() << "the schema check is switched off in this build (VHDX_WITH_JSONSCHEMA=OFF)";
      testsupport::MissingTool(testsupport::NotInstalled("/usr/bin/python3", "python3"));
      return;
    }
    if (testsupport::RunProgram({VHDX_DEBIAN_PYTHON3, "-c", "import jsonschema"}).status != 0) {
      testsupport::MissingTool(testsupport::NotInstalled("jsonschema for /usr/bin/python3", "python3-jsonschema"));
    }
  }
};

// Runs the validator on `lines`; the run's output says what failed.
testsupport::ProgramRun Validate(const std::string& lines, const ScratchDirectory& scratch) {
  const std::string file = scratch / "lines.jsonl";
  std::ofstream(file, std::ios::binary) << lines;
  return testsupport::RunProgram({VHDX_DEBIAN_PYTHON3, VHDX_VALIDATE_LINES, VHDX_JSON_SCHEMA, file});
}

TEST_F(JsonSchema, EveryObjectWrittenForTheCorpusValidates) {
  ScratchDirectory scratch;
  WriteCorpus(scratch.path() / "corpus");
  const testsupport::ProgramRun scan = RunJson({"-p", (scratch.path() / "corpus").string(), "-r"});
  ASSERT_FALSE(scan.out.empty()) << scan.err;
  std::string lines = scan.out;
  // And the objects of images given alone: a missing one, a folder.
  for (const std::string& path : {scratch / "corpus/fixtures/missing.vhdx", scratch / "corpus"}) {
    lines += RunJson({"-f", path}).out;
  }
  EXPECT_GE(JsonLines(lines).size(), Fixtures().size());
  const testsupport::ProgramRun validation = Validate(lines, scratch);
  EXPECT_EQ(validation.status, 0) << validation.out << validation.err;
}

// The validator and the schema catch what they are there for: each line
// here breaks one rule of the schema.
TEST_F(JsonSchema, TheSchemaRefusesObjectsOutsideIt) {
  ScratchDirectory scratch;
  const char* const kBroken[] = {
      R"({"schema_version":2,"path":"a","verdict":"sound","gpt_findings":[],"warnings":[]})",
      R"({"schema_version":1,"path":"a","verdict":"fine","gpt_findings":[],"warnings":[]})",
      R"({"schema_version":1,"path":"a","verdict":"corrupt","gpt_findings":[],"warnings":[]})",
      R"({"schema_version":1,"path":"a","verdict":"sound","failure":{"check":"header.crc","message":"m"},"gpt_findings":[],"warnings":[]})",
      R"({"schema_version":1,"path":"a","verdict":"sound","gpt_findings":[],"warnings":[],"header":{"sequence_number":-1}})",
      R"({"schema_version":1,"path":"a","verdict":"sound","gpt_findings":[],"warnings":[],"primary_gpt":{"disk_guid":"A4F2C9E1"}})",
      "{\"schema_version\":1,\"path\":\"\xff\",\"verdict\":\"sound\",\"gpt_findings\":[],\"warnings\":[]}",
  };
  for (const char* line : kBroken) {
    const testsupport::ProgramRun validation = Validate(std::string(line) + "\n", scratch);
    EXPECT_EQ(validation.status, 1) << line << "\n" << validation.out << validation.err;
  }
}

}  // namespace
}  // namespace json_test
