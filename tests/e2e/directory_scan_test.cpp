// Directory mode: which entries of a folder are inspected, in the order the
// file system lists them, and what a folder that cannot be scanned gives.
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>

#include "expected_text.h"
#include "platform_expectations.h"
#include "run_tool.h"
#include "support/plugin_image.h"

namespace e2e {
namespace {

using namespace testsupport;
namespace fs = std::filesystem;

std::string SystemMessage(int error) { return std::system_category().message(error); }

std::string OpenFailure(int status, const std::string& path) {
  return Corrupt("CreateFile failed with status " + std::to_string(status) + " for file: " + path);
}

void Touch(const fs::path& path, const std::string& text = "") { std::ofstream(path) << text; }

// The tool's output for the entries of `directory` in listing order, each
// entry's text given by name; names without text print nothing.
std::string InListingOrder(const fs::path& directory, const std::map<std::string, std::string>& textOf) {
  std::string out;
  for (const std::string& name : NamesInListingOrder(directory)) {
    const auto found = textOf.find(name);
    if (found != textOf.end()) out += found->second;
  }
  return out;
}

TEST(DirectoryScan, InspectsOnlyEntriesWithTheExactExtension) {
  ScratchDirectory scratch;
  const PluginImage image = PluginImage::Build(WithoutTrailer());
  const fs::path dir = scratch.path();
  image.WriteTo((dir / "image.vhdx").string());
  for (const char* name : {"upper.VHDX", "mixed.Vhdx", "backup.vhdx.bak", "image.vhd", "vhdx", "image.vhdx~"}) {
    image.WriteTo((dir / name).string());
  }
  fs::create_directory(dir / "x.vhdx");
  image.WriteTo((dir / "x.vhdx" / "inside.vhdx").string());
  fs::create_directory(dir / "sub");
  image.WriteTo((dir / "sub" / "nested.vhdx").string());

  const ToolRun run = RunTool({"-p", dir.string()});
  EXPECT_EQ(run.out, ContainerReport(ReportOf(image, ScannedPath(dir.string(), "image.vhdx"))));
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
}

// The folder as given, with or without a trailing separator, starts the path
// of every entry (ScannedPath says how each program joins them).
TEST(DirectoryScan, FolderGivenWithATrailingSeparator) {
  ScratchDirectory scratch;
  const PluginImage image = PluginImage::Build(WithoutTrailer());
  image.WriteTo(scratch / "image.vhdx");
  std::vector<std::string> folders{scratch.path().string(), scratch.path().string() + "/"};
  // A backslash separates only on Windows; on Linux it is part of a name.
  if (WindowsProgramUnderTest()) folders.push_back(scratch.path().string() + "\\");
  for (const std::string& folder : folders) {
    const ToolRun run = RunTool({"-p", folder});
    EXPECT_EQ(run.out, ContainerReport(ReportOf(image, ScannedPath(folder, "image.vhdx")))) << folder;
    EXPECT_EQ(run.status, 0) << folder;
  }
}

TEST(DirectoryScan, CorruptFirstImageDoesNotStopTheScan) {
  ScratchDirectory scratch;
  PluginImage corrupt = PluginImage::Build(WithoutTrailer());
  corrupt.PutInFileIdentifier(file_identifier_field::kSignature, "vhdxfil_");
  const PluginImage valid = PluginImage::Build(WithoutTrailer());
  const auto paths = WriteInListingOrder(scratch.path(), {&corrupt, &valid});

  const ToolRun run = RunTool({"-p", scratch.path().string()});
  EXPECT_EQ(run.out, Corrupt("Not a VHDX signature.") + ContainerReport(ReportOf(valid, paths[1])));
  EXPECT_EQ(run.status, 0);
}

TEST(DirectoryScan, PathsThatAreNotAFolder) {
  ScratchDirectory scratch;
  const std::string image = scratch / "image.vhdx";
  PluginImage::Build(WithoutTrailer()).WriteTo(image);
  const std::string notes = scratch / "notes.txt";
  Touch(notes, "not a folder");
  const std::string missing = scratch / "missing";
  const std::string missingInside = scratch / "missing/deeper";
  const std::string throughAFile = scratch / "notes.txt/deeper";
  struct Case {
    std::string path;
    std::string out;
  };
  const Case cases[] = {
      {missing, "VHDX directory " + missing + " does not exist.\n"},
      {missingInside, "VHDX directory " + missingInside + " does not exist.\n"},
      {throughAFile, "VHDX directory " + throughAFile + " does not exist.\n"},
      {image, image + " is not a directory.\n"},
      {notes, notes + " is not a directory.\n"},
  };
  for (const Case& c : cases) {
    const ToolRun run = RunTool({"-p", c.path});
    EXPECT_EQ(run.out, c.out) << c.path;
    EXPECT_EQ(run.status, 0) << c.path;
  }
}

TEST(DirectoryScan, FolderWithoutImagesPrintsNothing) {
  ScratchDirectory scratch;
  const ToolRun empty = RunTool({"-p", scratch.path().string()});
  EXPECT_EQ(empty.out, "");
  EXPECT_EQ(empty.status, 0);

  Touch(scratch.path() / "readme.txt", "hello");
  fs::create_directory(scratch.path() / "images.vhdx");
  const ToolRun others = RunTool({"-p", scratch.path().string()});
  EXPECT_EQ(others.out, "");
  EXPECT_EQ(others.status, 0);
}

// Opens the write end of a FIFO over and over once `patience` has passed, so
// that a reader stuck opening it is let go and the test ends with a failure
// instead of hanging.
class FifoRescue {
 public:
  FifoRescue(std::string path, std::chrono::seconds patience)
      : thread_([this, path = std::move(path), patience] {
          std::unique_lock lock(mutex_);
          if (wake_.wait_for(lock, patience, [this] { return done_; })) return;
          while (!wake_.wait_for(lock, std::chrono::milliseconds(100), [this] { return done_; })) {
            const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
            if (fd >= 0) ::close(fd);
          }
        }) {}
  ~FifoRescue() {
    {
      std::lock_guard lock(mutex_);
      done_ = true;
    }
    wake_.notify_all();
    thread_.join();
  }
  FifoRescue(const FifoRescue&) = delete;
  FifoRescue& operator=(const FifoRescue&) = delete;

 private:
  std::mutex mutex_;
  std::condition_variable wake_;
  bool done_ = false;
  std::thread thread_;
};

// A FIFO and a device named like images are refused at the open, without
// waiting for a writer or reading the device; a link to nowhere is a
// missing file. The scan goes on with the real image.
TEST(DirectoryScan, EntriesThatAreNotRegularFiles) {
  if (WindowsProgramUnderTest()) GTEST_SKIP() << kPosixFileTypes;
  ScratchDirectory scratch;
  const fs::path dir = scratch.path();
  const std::string fifo = (dir / "pipe.vhdx").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  fs::create_symlink("/dev/zero", dir / "zero.vhdx");
  fs::create_symlink(dir / "nowhere", dir / "dangling.vhdx");
  fs::create_directory_symlink(dir / "folder", dir / "folder-link.vhdx");
  fs::create_directory(dir / "folder");
  const PluginImage image = PluginImage::Build(WithoutTrailer());
  image.WriteTo((dir / "image.vhdx").string());

  const std::string expected =
      InListingOrder(dir, {{"pipe.vhdx", OpenFailure(22, fifo)},
                           {"zero.vhdx", OpenFailure(22, (dir / "zero.vhdx").string())},
                           {"dangling.vhdx", OpenFailure(2, (dir / "dangling.vhdx").string())},
                           {"image.vhdx", ContainerReport(ReportOf(image, (dir / "image.vhdx").string()))}});
  const auto start = std::chrono::steady_clock::now();
  ToolRun run;
  {
    FifoRescue rescue(fifo, std::chrono::seconds(20));
    run = RunTool({"-p", dir.string()});
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20)) << "the tool waited on the FIFO";
  EXPECT_EQ(run.out, expected);
  EXPECT_EQ(run.status, 0);
}

// A socket named like an image cannot be opened at all: the system refuses
// the open with ENXIO (status 6), before any file type check.
TEST(DirectoryScan, SocketNamedLikeAnImage) {
  if (WindowsProgramUnderTest()) GTEST_SKIP() << kPosixFileTypes;
  ScratchDirectory scratch;
  const std::string path = scratch / "socket.vhdx";
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  ASSERT_GE(fd, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  ASSERT_LT(path.size(), sizeof(address.sun_path));
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  ASSERT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)), 0);

  const ToolRun run = RunTool({"-p", scratch.path().string()});
  ::close(fd);
  EXPECT_EQ(run.out, OpenFailure(6, path));
  EXPECT_EQ(run.status, 0);
}

// An entry whose status cannot be read is reported when it is named like an
// image, skipped silently otherwise, and the scan goes on.
TEST(DirectoryScan, LinkLoopIsReportedAndTheScanGoesOn) {
  if (WindowsProgramUnderTest()) GTEST_SKIP() << kPosixFileTypes;
  ScratchDirectory scratch;
  const fs::path dir = scratch.path();
  fs::create_symlink("loop.vhdx", dir / "loop.vhdx");
  fs::create_symlink("loop.txt", dir / "loop.txt");
  const PluginImage image = PluginImage::Build(WithoutTrailer());
  image.WriteTo((dir / "image.vhdx").string());

  const std::string loop = (dir / "loop.vhdx").string();
  const std::string expected =
      InListingOrder(dir, {{"loop.vhdx", loop + " cannot be examined: " + SystemMessage(ELOOP) + "\n"},
                           {"image.vhdx", ContainerReport(ReportOf(image, (dir / "image.vhdx").string()))}});
  const ToolRun run = RunTool({"-p", dir.string()});
  EXPECT_EQ(run.out, expected);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");

  // The folder path itself a link loop.
  const ToolRun folder = RunTool({"-p", loop});
  EXPECT_EQ(folder.out, "VHDX directory " + loop + " cannot be listed: " + SystemMessage(ELOOP) + "\n");
  EXPECT_EQ(folder.status, 0);
}

TEST(DirectoryScan, FolderThatCannotBeListed) {
  if (WindowsProgramUnderTest()) GTEST_SKIP() << kPermissionBits;
  ScratchDirectory scratch;
  const fs::path dir = scratch.path() / "closed";
  fs::create_directory(dir);
  fs::create_directory(dir / "inner");
  PluginImage::Build(WithoutTrailer()).WriteTo((dir / "image.vhdx").string());
  fs::permissions(dir, fs::perms::none);

  const ToolRun run = RunToolAsOrdinaryUser(scratch, {"-p", dir.string()});
  EXPECT_EQ(run.out, "VHDX directory " + dir.string() + " cannot be listed: " + SystemMessage(EACCES) + "\n");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");

  // Inside a folder that cannot be searched even the folder's status fails.
  const fs::path inner = dir / "inner";
  const ToolRun below = RunToolAsOrdinaryUser(scratch, {"-p", inner.string()});
  fs::permissions(dir, fs::perms::owner_all);
  EXPECT_EQ(below.out, "VHDX directory " + inner.string() + " cannot be listed: " + SystemMessage(EACCES) + "\n");
  EXPECT_EQ(below.status, 0);
}

// A folder that may be listed but not searched: every entry's status fails.
TEST(DirectoryScan, FolderWhoseEntriesCannotBeExamined) {
  if (WindowsProgramUnderTest()) GTEST_SKIP() << kPermissionBits;
  ScratchDirectory scratch;
  const fs::path dir = scratch.path() / "listed-only";
  fs::create_directory(dir);
  PluginImage::Build(WithoutTrailer()).WriteTo((dir / "a.vhdx").string());
  PluginImage::Build(WithoutTrailer()).WriteTo((dir / "b.vhdx").string());
  Touch(dir / "c.txt");
  fs::permissions(dir, fs::perms::owner_read);

  const std::string why = " cannot be examined: " + SystemMessage(EACCES) + "\n";
  const std::string expected =
      InListingOrder(dir, {{"a.vhdx", (dir / "a.vhdx").string() + why}, {"b.vhdx", (dir / "b.vhdx").string() + why}});
  const ToolRun run = RunToolAsOrdinaryUser(scratch, {"-p", dir.string()});
  fs::permissions(dir, fs::perms::owner_all);
  EXPECT_EQ(run.out, expected);
  EXPECT_EQ(run.status, 0);
}

}  // namespace
}  // namespace e2e
