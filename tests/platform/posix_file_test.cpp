// The POSIX image file: regular files only, exclusive against other programs
// (flock and QEMU's image locking), never blocking.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/file.h"
#include "support/image_holder.h"
#include "support/program_run.h"
#include "support/unprivileged.h"

namespace vhdx_inspect::detail::platform {
namespace {

namespace fs = std::filesystem;

// Large enough for QEMU to take the file as a raw disk.
constexpr std::size_t kImageBytes = 65536;

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

// Another process holding the image, by a whole-file lock or by QEMU's
// byte-range locks, refuses the open with the status of a locked file; once
// it lets go, the image opens.
TEST_F(PosixFileTest, AnImageHeldByAnotherProcessIsRefused) {
  struct Holder {
    const char* what;
    std::vector<std::string> (*command)(const std::string& path);
  };
  const Holder holders[] = {
      {"flock(1), exclusive", testsupport::FlockHolderCommand},
      {"qemu-io, open for writing", testsupport::QemuIoHolderCommand},
      {"qemu-nbd, read-only export", testsupport::QemuNbdHolderCommand},
  };
  const std::string path = WriteFile("held.vhdx", std::string(kImageBytes, '\0'));
  for (const Holder& h : holders) {
    testsupport::ImageHolder holder(h.command(path), path);
    const OpenResult held = OpenForExclusiveRead(path);
    EXPECT_EQ(held.file, nullptr) << h.what;
    EXPECT_EQ(held.status, static_cast<ErrorCode>(EWOULDBLOCK)) << h.what;
    holder.Release();
    EXPECT_NE(OpenForExclusiveRead(path).file, nullptr) << h.what << ", after it let go";
  }
}

// While the reader holds the image, a program that wants to use it is
// refused: a QEMU program even when it only reads, and a whole-file lock.
// qemu-img info takes no permission (a pure reader, like this tool) and still
// opens it.
TEST_F(PosixFileTest, WhileTheReaderHoldsTheImageOtherProgramsAreRefused) {
  const std::string path = WriteFile("image.vhdx", std::string(kImageBytes, '\0'));
  const OpenResult held = OpenForExclusiveRead(path);
  ASSERT_NE(held.file, nullptr);
  const std::string qemuRefusal = "Failed to get \"consistent read\" lock";
  struct Contender {
    const char* what;
    std::vector<std::string> command;
    int status;
    std::string inError;
  };
  const Contender contenders[] = {
      {"qemu-io, read-write", {"qemu-io", "-c", "read 0 512", path}, 1, qemuRefusal},
      {"qemu-io, read-only", {"qemu-io", "-r", "-c", "read 0 512", path}, 1, qemuRefusal},
      {"flock(1), exclusive", {"flock", "--nonblock", "--exclusive", path, "true"}, 1, ""},
      {"qemu-img info", {"qemu-img", "info", path}, 0, ""},
  };
  for (const Contender& c : contenders) {
    std::vector<std::string> argv{"/usr/bin/env"};
    argv.insert(argv.end(), c.command.begin(), c.command.end());
    testsupport::RunLimits limits;
    limits.timeout = std::chrono::seconds{60};
    const testsupport::ProgramRun run = testsupport::RunProgram(argv, limits);
    EXPECT_EQ(run.status, c.status) << c.what << ": " << run.err;
    EXPECT_NE(run.err.find(c.inError), std::string::npos) << c.what << ": " << run.err;
  }
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
}  // namespace vhdx_inspect::detail::platform
