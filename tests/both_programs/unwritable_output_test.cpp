// A report that cannot be written, for both programs: when standard output
// refuses a write, the run stops, one line on standard error names the
// system's cause, and the exit status is 2. A pipe whose reader has gone ends
// the run by SIGPIPE, as it does for other command-line tools (on POSIX
// systems).
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

#include "both_programs.h"
#include "e2e/platform_expectations.h"
#include "support/access_time.h"
#include "support/plugin_image.h"
#include "support/scratch_directory.h"

namespace both_programs {
namespace {

using testsupport::AgeAccessTime;
using testsupport::ImageDescription;
using testsupport::PluginImage;
using testsupport::ProgramRun;
using testsupport::ReadSinceAged;
using testsupport::ScratchDirectory;
using testsupport::StandardOutput;

// The exit status of a run whose report could not be written.
constexpr int kReportNotWrittenStatus = 2;

std::string LineBeforeCause(const Program& program) {
  return std::string(program.name) + ": cannot write the report to standard output: ";
}

testsupport::RunLimits WithOutput(StandardOutput output) {
  testsupport::RunLimits limits;
  limits.output = output;
  return limits;
}

// Standard outputs that cannot be written; the system names the cause
// (e2e::UnwritableOutputCause).
struct Unwritable {
  const char* what;
  StandardOutput output;
};
const Unwritable kUnwritableOutputs[] = {
    {"/dev/full", StandardOutput::kFull},
    {"closed", StandardOutput::kClosed},
};

// Every kind of output the programs write: a report, a failed open, a folder
// walk, the help text and, for the text program, the line of a command line
// without a path (vhdx-inspect-json reports the empty name as an image it
// cannot open).
struct Invocation {
  const char* what;
  std::vector<std::string> (*arguments)(const ScratchDirectory& scratch);
};
const Invocation kInvocations[] = {
    {"one image",
     [](const ScratchDirectory& s) {
       return std::vector<std::string>{"-f", s / "images/a.vhdx"};
     }},
    {"a missing image",
     [](const ScratchDirectory& s) {
       return std::vector<std::string>{"-f", s / "missing.vhdx"};
     }},
    {"a folder",
     [](const ScratchDirectory& s) {
       return std::vector<std::string>{"-p", s / "images"};
     }},
    {"help", [](const ScratchDirectory&) { return std::vector<std::string>{"-h"}; }},
    {"an empty path",
     [](const ScratchDirectory&) {
       return std::vector<std::string>{"-f", ""};
     }},
};

// The folder "images" with three sound images, a.vhdx, b.vhdx and c.vhdx.
std::vector<std::string> WriteImages(const ScratchDirectory& scratch) {
  std::filesystem::create_directory(scratch / "images");
  const PluginImage image = PluginImage::Build(ImageDescription{});
  std::vector<std::string> paths;
  for (const char* name : {"a.vhdx", "b.vhdx", "c.vhdx"}) {
    paths.push_back(scratch / (std::string("images/") + name));
    image.WriteTo(paths.back());
  }
  return paths;
}

TEST(UnwritableOutput, TheRunStopsWithOneLineNamingTheCause) {
  ScratchDirectory scratch;
  WriteImages(scratch);
  for (const Program& program : BothPrograms()) {
    for (const Unwritable& output : kUnwritableOutputs) {
      for (const Invocation& run : kInvocations) {
        const ProgramRun result = program.Run(run.arguments(scratch), WithOutput(output.output));
        const std::string context = std::string(program.name) + ", " + run.what + ", standard output " + output.what;
        EXPECT_EQ(result.err, LineBeforeCause(program) + e2e::UnwritableOutputCause(output.output) + "\n") << context;
        EXPECT_EQ(result.status, kReportNotWrittenStatus) << context;
        EXPECT_EQ(result.signal, 0) << context;
      }
    }
  }
}

// In a folder walk the first write that fails ends the walk: the image whose
// report could not be written is the last one read. (vhdx-inspect-json with
// one job; with more, tests/json/folder_scan_test.cpp.)
TEST(UnwritableOutput, AFolderWalkReadsNoFurtherImage) {
  ScratchDirectory scratch;
  const std::vector<std::string> images = WriteImages(scratch);

  for (const std::string& image : images) AgeAccessTime(image);
  ASSERT_EQ(BothPrograms().front().Run({"-f", images[0]}).status, 0);
  if (!ReadSinceAged(images[0])) GTEST_SKIP() << "this file system does not record access times";

  for (const Program& program : BothPrograms()) {
    SCOPED_TRACE(program.name);
    for (const std::string& image : images) AgeAccessTime(image);
    std::vector<std::string> arguments = {"-p", scratch / "images"};
    if (program.json) arguments.insert(arguments.end(), {"-j", "1"});
    const ProgramRun result = program.Run(arguments, WithOutput(StandardOutput::kFull));
    ASSERT_EQ(result.status, kReportNotWrittenStatus) << result.err;
    int read = 0;
    for (const std::string& image : images) read += ReadSinceAged(image) ? 1 : 0;
    EXPECT_EQ(read, 1);
  }
}

// `vhdx-inspect -p folder | head -n 3`: the reader goes away, and the program
// ends by SIGPIPE without a word. Windows has no SIGPIPE: there the write
// fails, and the run ends as for any other write that fails.
TEST(UnwritableOutput, APipeWhoseReaderHasGoneEndsTheRun) {
  ScratchDirectory scratch;
  WriteImages(scratch);
  for (const Program& program : BothPrograms()) {
    SCOPED_TRACE(program.name);
    const ProgramRun result = program.Run({"-p", scratch / "images"}, WithOutput(StandardOutput::kClosedPipe));
    if (e2e::ClosedPipeEndsBySigpipe()) {
      EXPECT_EQ(result.signal, SIGPIPE);
      EXPECT_EQ(result.err, "");
    } else {
      EXPECT_EQ(result.err, LineBeforeCause(program) + e2e::UnwritableOutputCause(StandardOutput::kClosedPipe) + "\n");
      EXPECT_EQ(result.status, kReportNotWrittenStatus);
      EXPECT_EQ(result.signal, 0);
    }
  }
}

}  // namespace
}  // namespace both_programs
