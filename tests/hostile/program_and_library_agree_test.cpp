// The text program and the library agree on every image of the corpus (the
// hostile entries and sound images of each shape): the program's diagnostic
// line, the one before "Exception occurred: ", is the failure's message, a
// failure with no line of its own leaves the header block's empty line there,
// and an image without a failure has no "Exception occurred: " line.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "e2e/run_tool.h"
#include "hostile_corpus.h"
#include "support/plugin_image.h"
#include "support/scratch_directory.h"
#include "vhdx_inspect/inspect.h"

namespace hostile {
namespace {

constexpr char kException[] = "Exception occurred: plugin VHDX is corrupt";

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

void ExpectAgreement(const std::string& path) {
  SCOPED_TRACE(path);
  const e2e::ToolRun run = e2e::RunTool({"-f", path});
  vhdx_inspect::Inspector inspector;
  const vhdx_inspect::Inspection result = inspector.Inspect(path);
  const std::vector<std::string> lines = Lines(run.out);
  const bool corrupt = !lines.empty() && lines.back() == kException;
  ASSERT_EQ(corrupt, result.failure.has_value()) << run.out;
  if (!corrupt) return;
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[lines.size() - 2], result.failure->message);
  EXPECT_EQ(result.failure->message.empty(), result.failure->check == vhdx_inspect::Check::kMetadataRegionRead);
}

TEST(ProgramAndLibrary, AgreeOnEveryEntryOfTheCorpus) {
  if (e2e::WindowsProgramUnderTest()) GTEST_SKIP() << "the library under test is the Linux one";
  testsupport::ScratchDirectory scratch;
  for (const Entry& entry : Corpus()) {
    const std::filesystem::path path = std::filesystem::path(scratch.path()) / entry.name;
    entry.write(path);
    ExpectAgreement(path.string());
  }
}

TEST(ProgramAndLibrary, AgreeOnSoundImagesOfEachShape) {
  if (e2e::WindowsProgramUnderTest()) GTEST_SKIP() << "the library under test is the Linux one";
  testsupport::ScratchDirectory scratch;
  testsupport::ImageDescription withoutTrailer;
  withoutTrailer.gptTrailer = false;
  testsupport::ImageDescription largeSectors;
  largeSectors.logicalSectorSize = 4096;
  const testsupport::ImageDescription shapes[] = {testsupport::ImageDescription{}, withoutTrailer, largeSectors};
  int n = 0;
  for (const testsupport::ImageDescription& shape : shapes) {
    const std::string path = scratch / ("shape-" + std::to_string(++n) + ".vhdx");
    testsupport::PluginImage::Build(shape).WriteTo(path);
    ExpectAgreement(path);
  }
}

}  // namespace
}  // namespace hostile
