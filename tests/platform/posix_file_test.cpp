// The POSIX image file: regular files only, exclusive, never blocking.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/file.h"
#include "testsupport/unprivileged.h"

namespace platform {
namespace {

namespace fs = std::filesystem;

class PosixFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "posix-file-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    directory_ = pattern;
  }
  void TearDown() override { fs::remove_all(directory_); }

  std::string WriteFile(const std::string& name, const std::string& contents) {
    const fs::path path = directory_ / name;
    std::ofstream(path, std::ios::binary) << contents;
    return path.string();
  }

  fs::path directory_;
};

TEST_F(PosixFileTest, ReadsFromTheStartAndFromAnyPosition) {
  const std::string path = WriteFile("image.vhdx", "0123456789");
  OpenResult opened = OpenForExclusiveRead(path);
  ASSERT_NE(opened.file, nullptr);
  EXPECT_EQ(opened.status, 0u);

  char buffer[16] = {};
  std::uint32_t count = 0;
  ASSERT_TRUE(opened.file->Read(buffer, 4, count));
  EXPECT_EQ(count, 4u);
  EXPECT_EQ(std::string(buffer, 4), "0123");

  ASSERT_TRUE(opened.file->Seek(7));
  ASSERT_TRUE(opened.file->Read(buffer, 16, count));
  EXPECT_EQ(count, 3u);  // short at the end of the file, not a failure
  EXPECT_EQ(std::string(buffer, 3), "789");

  ASSERT_TRUE(opened.file->Seek(1000));
  ASSERT_TRUE(opened.file->Read(buffer, 16, count));
  EXPECT_EQ(count, 0u);
}

TEST_F(PosixFileTest, PositionBeyondTheSignedRangeFails) {
  OpenResult opened = OpenForExclusiveRead(WriteFile("image.vhdx", "x"));
  ASSERT_NE(opened.file, nullptr);
  EXPECT_FALSE(opened.file->Seek(0x8000000000000000ull));
  EXPECT_EQ(opened.file->LastError(), static_cast<ErrorCode>(EINVAL));
}

struct RefusedCase {
  const char* what;
  std::string (*make)(const fs::path& directory);
  ErrorCode status;
};

TEST_F(PosixFileTest, OpensNothingButARegularFile) {
  const RefusedCase cases[] = {
      {"missing file", [](const fs::path& d) { return (d / "missing.vhdx").string(); }, ENOENT},
      {"directory",
       [](const fs::path& d) {
         fs::create_directory(d / "dir.vhdx");
         return (d / "dir.vhdx").string();
       },
       EISDIR},
      {"fifo without a writer",
       [](const fs::path& d) {
         const std::string path = (d / "fifo.vhdx").string();
         ::mkfifo(path.c_str(), 0600);
         return path;
       },
       EINVAL},
      {"device through a symlink",
       [](const fs::path& d) {
         fs::create_symlink("/dev/zero", d / "zero.vhdx");
         return (d / "zero.vhdx").string();
       },
       EINVAL},
      {"symlink loop",
       [](const fs::path& d) {
         fs::create_symlink("loop.vhdx", d / "loop.vhdx");
         return (d / "loop.vhdx").string();
       },
       ELOOP},
  };
  for (const RefusedCase& c : cases) {
    const OpenResult opened = OpenForExclusiveRead(c.make(directory_));
    EXPECT_EQ(opened.file, nullptr) << c.what;
    EXPECT_EQ(opened.status, c.status) << c.what;
  }
}

TEST_F(PosixFileTest, AFileLockedByAnotherProcessIsRefused) {
  const std::string path = WriteFile("locked.vhdx", "x");
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    ::flock(fd, LOCK_EX);
    (void)!::write(ready[1], "x", 1);
    ::pause();
    ::_exit(0);
  }
  char byte;
  ASSERT_EQ(::read(ready[0], &byte, 1), 1);
  const OpenResult opened = OpenForExclusiveRead(path);
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
  ::close(ready[0]);
  ::close(ready[1]);
  EXPECT_EQ(opened.file, nullptr);
  EXPECT_EQ(opened.status, static_cast<ErrorCode>(EWOULDBLOCK));
}

TEST_F(PosixFileTest, TheReaderHoldsTheImageExclusively) {
  const std::string path = WriteFile("image.vhdx", "x");
  const OpenResult first = OpenForExclusiveRead(path);
  ASSERT_NE(first.file, nullptr);
  // A second open description in this process contends for the same lock.
  const OpenResult second = OpenForExclusiveRead(path);
  EXPECT_EQ(second.file, nullptr);
  EXPECT_EQ(second.status, static_cast<ErrorCode>(EWOULDBLOCK));
}

// As root, which reads files whatever their mode, the opens run as an
// unprivileged account that owns the folder; the readable file beside the
// unreadable one shows that the folder itself lets the account in.
TEST_F(PosixFileTest, AnUnreadableFileIsRefusedWithItsErrorCode) {
  const std::string readable = WriteFile("readable.vhdx", "x");
  const std::string path = WriteFile("secret.vhdx", "x");
  fs::permissions(path, fs::perms::none);
  // The status of the open, or -1 for a file that was opened.
  const auto openStatus = [](const std::string& file) {
    const OpenResult opened = OpenForExclusiveRead(file);
    return opened.file ? -1 : static_cast<int>(opened.status);
  };
  EXPECT_EQ(testsupport::RunAsOrdinaryUser(directory_, [&] { return openStatus(readable); }), -1);
  EXPECT_EQ(testsupport::RunAsOrdinaryUser(directory_, [&] { return openStatus(path); }), EACCES);
}

}  // namespace
}  // namespace platform
