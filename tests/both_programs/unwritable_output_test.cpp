// A report that cannot be written, for both programs and, for
// vhdx-inspect-json, at every -j: when standard output refuses a write, the
// run stops, one line on standard error names the system's cause, the exit
// status is 2, and no further image is read. A pipe whose reader has gone
// ends the run by SIGPIPE, as it does for other command-line tools (on POSIX
// systems).
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstddef>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "both_programs.h"
#include "e2e/platform_expectations.h"
#include "json/slow_mount.h"
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
       return std::vector<std::string>{"-f", s / "images/image-1000.vhdx"};
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

// The -j of each run: the text program has none (""); vhdx-inspect-json
// runs with its default (8, ""), one job and two.
std::vector<std::string> JobsOf(const Program& program) {
  if (!program.json) return {""};
  return {"", "1", "2"};
}

std::vector<std::string> WithJobs(std::vector<std::string> arguments, const std::string& jobs) {
  if (!jobs.empty()) arguments.insert(arguments.end(), {"-j", jobs});
  return arguments;
}

// The folder `folder` in `scratch` with `count` sound images.
std::vector<std::string> WriteImages(const ScratchDirectory& scratch, const std::string& folder = "images",
                                     std::size_t count = 3) {
  std::filesystem::create_directories(scratch / folder);
  const PluginImage image = PluginImage::Build(ImageDescription{});
  std::vector<std::string> paths;
  for (std::size_t i = 0; i < count; ++i) {
    paths.push_back(scratch / (folder + "/image-" + std::to_string(1000 + i) + ".vhdx"));
    image.WriteTo(paths.back());
  }
  return paths;
}

TEST(UnwritableOutput, TheRunStopsWithOneLineNamingTheCause) {
  ScratchDirectory scratch;
  WriteImages(scratch);
  for (const Program& program : BothPrograms()) {
    for (const std::string& jobs : JobsOf(program)) {
      for (const Unwritable& output : kUnwritableOutputs) {
        for (const Invocation& run : kInvocations) {
          const ProgramRun result = program.Run(WithJobs(run.arguments(scratch), jobs), WithOutput(output.output));
          const std::string context = std::string(program.name) + (jobs.empty() ? "" : " -j " + jobs) + ", " +
                                      run.what + ", standard output " + output.what;
          EXPECT_EQ(result.err, LineBeforeCause(program) + e2e::UnwritableOutputCause(output.output) + "\n") << context;
          EXPECT_EQ(result.status, kReportNotWrittenStatus) << context;
          EXPECT_EQ(result.signal, 0) << context;
        }
      }
    }
  }
}

// In a folder walk the first write that fails ends the walk. One image at a
// time (the text program, vhdx-inspect-json -j 1), the image whose report
// could not be written is the last one read. With -j N it lets no further
// image in: the images read are the few already being inspected when it
// failed, never the many waiting for a turn (all of them, were the waiting
// ones still taken). Those runs go through a mount that delays each request
// by 20 ms, so that the first line is written long before any other image
// is done.
TEST(UnwritableOutput, AFolderWalkReadsNoFurtherImage) {
  ScratchDirectory scratch;
  const std::size_t cores = std::max(1U, std::thread::hardware_concurrency());
  // The images lie in a folder below the mount point: wine takes the root of
  // a mount for something other than a folder.
  const std::vector<std::string> images = WriteImages(scratch, "source/images", 8 * cores + 24);

  for (const std::string& image : images) AgeAccessTime(image);
  ASSERT_EQ(BothPrograms().front().Run({"-f", images[0]}).status, 0);
  if (!ReadSinceAged(images[0])) GTEST_SKIP() << "this file system does not record access times";
  const std::optional<std::string> noMount = json_test::SlowMount::Unavailable();
  std::optional<json_test::SlowMount> mount;
  if (!noMount) {
    std::filesystem::create_directory(scratch / "mount");
    mount.emplace(scratch / "source", scratch / "mount", 20000);
  }

  struct Case {
    bool json;
    const char* jobs;
    std::size_t mostRead;
  };
  // Before the first line is written with -j N: the lines written together
  // with it (up to twice as many as the threads, which are as many as the
  // cores at first), the images the threads are on, and the one each takes
  // next as it finishes.
  for (const Case& c :
       {Case{false, "", 1}, Case{true, "1", 1}, Case{true, "8", 4 * cores + 1}, Case{true, "64", 4 * cores + 1}}) {
    const Program& program = BothPrograms()[c.json ? 1 : 0];
    SCOPED_TRACE(std::string(program.name) + " " + c.jobs);
    const bool slow = c.mostRead > 1;
    if (slow && noMount) {
      std::cout << "[ SKIPPED  ] -j " << c.jobs << ": " << *noMount << std::endl;
      continue;
    }
    for (const std::string& image : images) AgeAccessTime(image);
    const std::string folder = slow ? (mount->path() / "images").string() : scratch / "source/images";
    const ProgramRun result = program.Run(WithJobs({"-p", folder}, c.jobs), WithOutput(StandardOutput::kFull));
    ASSERT_EQ(result.status, kReportNotWrittenStatus) << result.err;
    const auto read = static_cast<std::size_t>(std::count_if(images.begin(), images.end(), ReadSinceAged));
    EXPECT_GE(read, 1U);
    EXPECT_LE(read, c.mostRead) << "of " << images.size();
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
