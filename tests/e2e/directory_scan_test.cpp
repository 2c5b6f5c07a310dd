// Directory mode as only the text program has it: the paths it prints for a
// folder given with a trailing separator, and entries that are not regular
// files. Which entries a folder walk takes, and what it says of what it
// cannot walk, are checked for both programs in both_programs/.
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
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include "expected_text.h"
#include "platform_expectations.h"
#include "run_tool.h"
#include "support/plugin_image.h"

namespace e2e {
namespace {

using namespace testsupport;
namespace fs = std::filesystem;

std::string OpenFailure(int status, const std::string& path) {
  return Corrupt("CreateFile failed with status " + std::to_string(status) + " for file: " + path);
}

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

}  // namespace
}  // namespace e2e
