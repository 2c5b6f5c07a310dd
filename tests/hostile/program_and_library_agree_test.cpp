// The text program and the library agree on every image of the corpus (the
// hostile entries and sound images of each shape): the program's diagnostic
// line, the one before "Exception occurred: ", is the failure's message, a
// failure with no line of its own leaves the header block's empty line there,
// and an image without a failure has no "Exception occurred: " line.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "e2e/diagnostic_line.h"
#include "e2e/run_tool.h"
#include "hostile_corpus.h"
#include "support/plugin_image.h"
#include "support/scratch_directory.h"
#include "vhdx_inspect/inspect.h"
#include "views/text/messages.h"

namespace hostile {
namespace {

void ExpectAgreement(const std::string& path) {
  SCOPED_TRACE(path);
  const e2e::ToolRun run = e2e::RunTool({"-f", path});
  vhdx_inspect::Inspector inspector;
  const vhdx_inspect::Inspection result = inspector.Inspect(path);
  const std::optional<std::string> line = e2e::DiagnosticLine(run.out);
  ASSERT_EQ(line.has_value(), result.failure.has_value()) << run.out;
  if (!line) return;
  ASSERT_GE(e2e::LinesOf(run.out).size(), 2u) << run.out;
  const std::string message = vhdx_inspect::views::text::FailureMessage(result);
  EXPECT_EQ(*line, message);
  EXPECT_EQ(message.empty(), result.failure->check == vhdx_inspect::Check::kMetadataRegionRead);
  EXPECT_FALSE(result.failure->description.empty());
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
