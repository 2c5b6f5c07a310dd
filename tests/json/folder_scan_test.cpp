// The JSON program's folder scan, command line and exit statuses: one line
// per image in listing order (the folders below with -r, where they are
// met), nothing on standard output for a folder, one line on standard error
// for what cannot be scanned, and a status that says what was found.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "e2e/platform_expectations.h"
#include "json_run.h"
#include "slow_mount.h"
#include "support/access_time.h"
#include "support/plugin_image.h"
#include "support/scratch_directory.h"
#include "support/unprivileged.h"

namespace json_test {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using testsupport::ImageDescription;
using testsupport::PluginImage;
using testsupport::ProgramRun;
using testsupport::ScratchDirectory;

bool EndsWith(const std::string& text, const std::string& ending) {
  return text.size() >= ending.size() && text.compare(text.size() - ending.size(), ending.size(), ending) == 0;
}

// Whether the JSON program's walk takes `name`: ".vhdx" in any case.
bool NamedLikeAnImage(std::string name) {
  for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return EndsWith(name, ".vhdx");
}

void WriteSound(const fs::path& path) { PluginImage::Build(ImageDescription{}).WriteTo(path.string()); }

void WriteDamaged(const fs::path& path) {
  ImageDescription d;
  d.signature = "vhdxfilz";
  PluginImage::Build(d).WriteTo(path.string());
}

std::vector<std::string> PathsOf(const std::vector<json>& objects) {
  std::vector<std::string> paths;
  for (const json& object : objects) paths.push_back(object["path"]);
  return paths;
}

// The paths the scan of `folder` must report, as the program names them:
// its image entries in listing order and, with `recursive`, those of the
// folders below where they are met.
void ExpectedPaths(const fs::path& folder, const std::string& given, bool recursive, std::vector<std::string>& paths) {
  for (const std::string& name : e2e::NamesInListingOrder(folder)) {
    const fs::path entry = folder / name;
    const std::string named = e2e::ScannedPath(given, name);
    if (fs::is_directory(fs::symlink_status(entry))) {
      if (recursive) ExpectedPaths(entry, named, true, paths);
    } else if (!fs::is_directory(entry) && NamedLikeAnImage(name)) {
      paths.push_back(named);
    }
  }
}

// A tree with images and entries that are not: a.vhdx, c.vhdx and
// upper.VHDX sound, b.vhdx damaged, names that only look like images, and a
// folder below with two more images, one more folder level down, and an
// image-named folder.
fs::path WriteTree(const ScratchDirectory& scratch) {
  const fs::path root = scratch.path() / "tree";
  fs::create_directories(root / "below" / "deeper");
  fs::create_directories(root / "folder.vhdx");
  WriteSound(root / "a.vhdx");
  WriteDamaged(root / "b.vhdx");
  WriteSound(root / "c.vhdx");
  WriteSound(root / "upper.VHDX");
  WriteSound(root / "twice.vhdx.bak");
  WriteSound(root / "below" / "d.vhdx");
  WriteSound(root / "below" / "deeper" / "e.vhdx");
  return root;
}

TEST(JsonFolderScan, OneLinePerImageInListingOrder) {
  ScratchDirectory scratch;
  const fs::path root = WriteTree(scratch);
  for (const bool recursive : {false, true}) {
    SCOPED_TRACE(recursive ? "-r" : "without -r");
    std::vector<std::string> arguments = {"-p", root.string()};
    if (recursive) arguments.push_back("-r");
    const ProgramRun run = RunJson(arguments);
    std::vector<std::string> expected;
    ExpectedPaths(root, root.string(), recursive, expected);
    ASSERT_EQ(expected.size(), recursive ? 6u : 4u);
    const std::vector<json> objects = JsonLines(run.out);
    EXPECT_EQ(PathsOf(objects), expected);
    for (const json& object : objects) {
      const bool damaged = EndsWith(object["path"], "b.vhdx");
      EXPECT_EQ(object["verdict"], damaged ? "corrupt" : "sound") << object["path"];
    }
    EXPECT_EQ(run.status, kImageNotSound);  // b.vhdx
    EXPECT_EQ(run.err, "");
  }
}

TEST(JsonFolderScan, AllSoundAndEmptyFoldersEndWithStatusZero) {
  ScratchDirectory scratch;
  fs::create_directories(scratch.path() / "empty");
  fs::create_directories(scratch.path() / "sound" / "below");
  WriteSound(scratch.path() / "sound" / "one.vhdx");
  WriteSound(scratch.path() / "sound" / "below" / "two.vhdx");
  struct Case {
    std::vector<std::string> arguments;
    std::size_t lines;
  };
  const Case cases[] = {
      {{"-p", scratch / "empty"}, 0},       {{"-p", scratch / "empty", "-r"}, 0},    {{"-p", scratch / "sound"}, 1},
      {{"-p", scratch / "sound", "-r"}, 2}, {{"-f", scratch / "sound/one.vhdx"}, 1},
  };
  for (const Case& c : cases) {
    const ProgramRun run = RunJson(c.arguments);
    EXPECT_EQ(run.status, kAllSound) << c.arguments[1] << run.err;
    EXPECT_EQ(JsonLines(run.out).size(), c.lines) << c.arguments[1];
    EXPECT_EQ(run.err, "");
  }
}

// A folder below that cannot be listed: its line on standard error, the
// images around it still inspected, and the scan's status says it was not
// complete.
TEST(JsonFolderScan, AFolderBelowThatCannotBeListed) {
  if (WindowsJsonProgramUnderTest()) GTEST_SKIP() << e2e::kPermissionBits;
  if (!testsupport::UnprivilegedAccount()) GTEST_SKIP() << "no account without root's rights";
  ScratchDirectory scratch;
  const fs::path root = scratch.path() / "tree";
  fs::create_directories(root / "closed");
  WriteSound(root / "closed" / "hidden.vhdx");
  WriteSound(root / "open.vhdx");
  testsupport::RunLimits limits;
  limits.as = testsupport::UnprivilegedAccount();
  testsupport::HandOver(scratch.path(), *limits.as);
  ASSERT_EQ(::chmod((root / "closed").c_str(), 0), 0);
  const ProgramRun run = RunJson({"-p", root.string(), "-r"}, limits);
  ::chmod((root / "closed").c_str(), 0755);
  EXPECT_EQ(run.status, kFolderNotScanned);
  EXPECT_EQ(PathsOf(JsonLines(run.out)), std::vector<std::string>{(root / "open.vhdx").string()});
  EXPECT_EQ(run.err, "vhdx-inspect-json: VHDX directory " + (root / "closed").string() +
                         " cannot be listed: Permission denied\n");
}

// With -r a symbolic link to a folder is not followed.
TEST(JsonFolderScan, ALinkToAFolderIsNotFollowed) {
  if (WindowsJsonProgramUnderTest()) GTEST_SKIP() << e2e::kPosixFileTypes;
  ScratchDirectory scratch;
  const fs::path root = scratch.path() / "tree";
  fs::create_directories(root);
  fs::create_directories(scratch.path() / "elsewhere");
  WriteSound(scratch.path() / "elsewhere" / "away.vhdx");
  fs::create_directory_symlink(scratch.path() / "elsewhere", root / "link");
  fs::create_directory_symlink(root, root / "loop");
  WriteSound(root / "here.vhdx");
  const ProgramRun run = RunJson({"-p", root.string(), "-r"});
  EXPECT_EQ(PathsOf(JsonLines(run.out)), std::vector<std::string>{(root / "here.vhdx").string()});
  EXPECT_EQ(run.status, kAllSound);
}

// A file name whose bytes are not UTF-8 (Linux) comes out with U+FFFD; a name
// in the Windows program's ANSI code page comes out as UTF-8.
TEST(JsonFolderScan, FileNamesComeOutAsUtf8) {
  ScratchDirectory scratch;
  const fs::path root = scratch.path() / "names";
  fs::create_directories(root);
  const std::string name = WindowsJsonProgramUnderTest() ? "caf\xC3\xA9.vhdx" : "bad\xFF\xC3.vhdx";
  WriteSound(root / name);
  const std::string expected = WithReplacementCharacters(e2e::ScannedPath(root.string(), name));
  const ProgramRun scan = RunJson({"-p", root.string()});
  EXPECT_EQ(PathsOf(JsonLines(scan.out)), std::vector<std::string>{expected});
  EXPECT_EQ(scan.status, kAllSound);

  // The failure's message holds the path too.
  const std::string missing = (root / ("gone" + name)).string();
  const json object = OnlyObject(RunJson({"-f", missing}));
  EXPECT_EQ(object["path"], WithReplacementCharacters(missing));
  EXPECT_NE(object["failure"]["message"].get<std::string>().find(WithReplacementCharacters(missing)), std::string::npos)
      << object;
}

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

// A write that fails in the middle of a parallel scan ends it as with one
// job: status 2 and the one line on standard error.
TEST(JsonParallelScan, AnUnwritableOutputEndsTheRunWithStatusTwo) {
  ScratchDirectory scratch;
  const fs::path root = WriteTree(scratch);
  for (const char* jobs : {"2", "8"}) {
    testsupport::RunLimits limits;
    limits.output = testsupport::StandardOutput::kFull;
    const ProgramRun run = RunJson({"-p", root.string(), "-r", "-j", jobs}, limits);
    EXPECT_EQ(run.status, kReportNotWritten) << jobs;
    EXPECT_EQ(run.err, "vhdx-inspect-json: cannot write the report to standard output: " +
                           e2e::UnwritableOutputCause(testsupport::StandardOutput::kFull) + "\n")
        << jobs;
  }
}

// A failed write lets no further image in, at any -j: the images read are
// the few already being inspected when it failed, never the many waiting
// for a turn (all of them, were the waiting ones still taken). Through a
// mount that delays each request by 20 ms, the first line is written long
// before any other image is done.
TEST(JsonParallelScan, AFailedWriteLetsNoFurtherImageIn) {
  if (const auto reason = SlowMount::Unavailable()) GTEST_SKIP() << *reason;
  ScratchDirectory scratch;
  // The images lie in a folder below the mount point: wine takes the root of
  // a mount for something other than a folder.
  const fs::path folder = scratch.path() / "source" / "images";
  fs::create_directories(folder);
  const std::size_t cores = std::max(1U, std::thread::hardware_concurrency());
  const std::size_t count = 8 * cores + 24;
  const PluginImage image = PluginImage::Build(ImageDescription{});
  std::vector<std::string> images;
  for (std::size_t i = 0; i < count; ++i) {
    images.push_back((folder / ("image-" + std::to_string(1000 + i) + ".vhdx")).string());
    image.WriteTo(images.back());
  }
  for (const std::string& path : images) testsupport::AgeAccessTime(path);
  ASSERT_EQ(RunJson({"-f", images[0]}).status, kAllSound);
  if (!testsupport::ReadSinceAged(images[0])) GTEST_SKIP() << "this file system does not record access times";
  fs::create_directory(scratch.path() / "mount");
  const SlowMount mount(scratch.path() / "source", scratch.path() / "mount", 20000);

  for (const char* jobs : {"8", "64"}) {
    SCOPED_TRACE(jobs);
    for (const std::string& path : images) testsupport::AgeAccessTime(path);
    testsupport::RunLimits limits;
    limits.output = testsupport::StandardOutput::kFull;
    const ProgramRun run = RunJson({"-p", (mount.path() / "images").string(), "-j", jobs}, limits);
    ASSERT_EQ(run.status, kReportNotWritten) << run.err;
    const auto read = static_cast<std::size_t>(std::count_if(images.begin(), images.end(), testsupport::ReadSinceAged));
    EXPECT_GE(read, 1U);
    // Before the first line is written: the lines written together with it
    // (up to twice as many as the threads, which are as many as the cores
    // at first), the images the threads are on, and the one each takes next
    // as it finishes.
    EXPECT_LE(read, 4 * cores + 1) << "of " << count;
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

TEST(JsonCommandLine, ErrorsEndWithStatusOneAndHelpWithZero) {
  ScratchDirectory scratch;
  WriteSound(scratch.path() / "a.vhdx");
  const std::vector<std::vector<std::string>> errors = {
      {},
      {"-x"},
      {"-f"},
      {"-r"},
      {"-f", scratch / "a.vhdx", "-r"},
      {"-f", scratch / "a.vhdx", "-p", scratch.path().string()},
      {"-p", scratch.path().string(), "extra"},
      {"--files-from"},
      {"--files0-from"},
      {"-p", scratch.path().string(), "--files-from", "-"},
      {"-p", scratch.path().string(), "--files0-from", "-"},
      {"-p", scratch.path().string(), "-p", scratch.path().string()},
      {"--files-from", "-", "-r"},
      {"-p", scratch.path().string(), "-j", "0"},
      {"-p", scratch.path().string(), "-j", "-1"},
      {"-p", scratch.path().string(), "-j", "two"},
      {"-p", scratch.path().string(), "-j", "257"},
  };
  for (const std::vector<std::string>& arguments : errors) {
    const ProgramRun run = RunJson(arguments);
    EXPECT_EQ(run.status, kCommandLineError) << testing::PrintToString(arguments);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err.rfind("vhdx-inspect-json: ", 0), 0u) << run.err;
  }
  const ProgramRun help = RunJson({"-h"});
  EXPECT_EQ(help.status, kAllSound);
  for (const char* option : {"-f", "-p", "-r", "-j", "-h", "--files-from", "--files0-from"}) {
    EXPECT_NE(help.out.find(option), std::string::npos) << option;
  }
}

}  // namespace
}  // namespace json_test
