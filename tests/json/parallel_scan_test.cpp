// The JSON program's parallel scan: -j N writes exactly what one job
// writes, and a thread that the system will not start is told and the run
// goes on. (A failed write at every -j: tests/both_programs/
// unwritable_output_test.cpp; interrupts: interrupt_test.cpp; slow storage:
// slow_storage_test.cpp; no memory: out_of_memory_test.cpp.)
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "image_tree.h"
#include "json_run.h"
#include "support/plugin_image.h"
#include "support/scratch_directory.h"

namespace json_test {
namespace {

namespace fs = std::filesystem;
using testsupport::ImageDescription;
using testsupport::PluginImage;
using testsupport::ProgramRun;
using testsupport::ScratchDirectory;

// -j N inspects up to N images at once and writes exactly what one at a time
// writes: the same lines, in listing order, and the same status.
TEST(JsonParallelScan, EveryNumberOfJobsWritesTheSameLines) {
  ScratchDirectory scratch;
  const fs::path root = WriteTree(scratch);
  for (int i = 0; i < 12; ++i) {
    const fs::path path = root / (i % 2 == 0 ? "below" : ".") / ("more-" + std::to_string(i) + ".vhdx");
    if (i % 3 == 0) {
      WriteDamaged(path);
    } else {
      WriteSound(path);
    }
  }
  if (!WindowsJsonProgramUnderTest()) {
    WriteSound(root / "bad\xFF.vhdx");                             // a name that is not UTF-8
    fs::create_symlink(root / "nowhere", root / "dangling.vhdx");  // unreadable
  }
  for (const char* recursive : {"", "-r"}) {
    std::vector<std::string> arguments = {"-p", root.string()};
    if (*recursive) arguments.push_back(recursive);
    std::vector<std::string> one = arguments;
    one.insert(one.end(), {"-j", "1"});
    const ProgramRun sequential = RunJson(one);
    EXPECT_EQ(sequential.status, kImageNotSound);
    // a, b, c, upper.VHDX and six more at the top (and two more on Linux);
    // d, e and six more below.
    const std::size_t top = WindowsJsonProgramUnderTest() ? 10 : 12;
    EXPECT_EQ(JsonLines(sequential.out).size(), *recursive ? top + 8 : top);
    for (const char* jobs : {"2", "3", "8", ""}) {
      std::vector<std::string> parallel = arguments;
      if (*jobs) parallel.insert(parallel.end(), {"-j", jobs});
      const ProgramRun run = RunJson(parallel);
      EXPECT_EQ(run.out, sequential.out) << "-j " << jobs << " " << recursive;
      EXPECT_EQ(run.status, sequential.status) << "-j " << jobs << " " << recursive;
      EXPECT_EQ(run.err, sequential.err) << "-j " << jobs << " " << recursive;
    }
  }
}

// The sanitizers' runtimes must come first among the libraries a program
// loads, so a preload cannot go before them.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kPreloadable = false;
#else
constexpr bool kPreloadable = true;
#endif

// Sets an environment variable for the programs this test runs.
class ScopedEnvironment {
 public:
  ScopedEnvironment(const char* name, const std::string& value) : name_(name) { ::setenv(name, value.c_str(), 1); }
  ~ScopedEnvironment() { ::unsetenv(name_); }
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  const char* name_;
};

// A thread that the system will not start (a process at its limit of
// threads) is told in one line on standard error; the run goes on with the
// threads it has, or one image at a time with none, and writes every line.
TEST(JsonParallelScan, AThreadThatCannotStartIsToldAndTheRunGoesOn) {
  if (WindowsJsonProgramUnderTest()) GTEST_SKIP() << "the preload is a Linux library";
  if (!kPreloadable) GTEST_SKIP() << "a preload cannot go before the sanitizers' runtime";
  ScratchDirectory scratch;
  const fs::path folder = scratch.path() / "images";
  fs::create_directory(folder);
  const PluginImage image = PluginImage::Build(ImageDescription{});
  for (int i = 0; i < 12; ++i) image.WriteTo((folder / ("image-" + std::to_string(10 + i) + ".vhdx")).string());
  const ProgramRun expected = RunJson({"-p", folder.string(), "-j", "1"});
  ASSERT_EQ(expected.status, kAllSound);

  const ScopedEnvironment preload("LD_PRELOAD", VHDX_REFUSE_THREADS);
  const std::string cause = std::strerror(EAGAIN);
  struct Case {
    const char* allowed;
    std::string err;
  };
  for (const Case& c :
       {Case{"0", "vhdx-inspect-json: cannot start a thread (" + cause + "): going on with one image at a time\n"},
        Case{"1", "vhdx-inspect-json: cannot start a thread (" + cause + "): going on with 1 thread\n"}}) {
    SCOPED_TRACE(c.allowed);
    // With one core, a second thread is asked for only if the cores idle.
    if (std::string(c.allowed) == "1" && std::thread::hardware_concurrency() < 2) continue;
    const ScopedEnvironment allowed("VHDX_THREADS_ALLOWED", c.allowed);
    const ProgramRun run = RunJson({"-p", folder.string(), "-j", "8"});
    EXPECT_EQ(run.status, kAllSound);
    EXPECT_EQ(run.err, c.err);
    EXPECT_EQ(run.out, expected.out);
  }
}

}  // namespace
}  // namespace json_test
