// The Win32 backend of the platform layer on real files: what an exclusive
// open admits and refuses, with the Windows status of each refusal; reads
// and positions beyond 4 GiB; zero-filled buffers from VirtualAlloc.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/file.h"
#include "platform/zeroed_buffer.h"
#include "scratch_file.h"

namespace {

using vhdx_inspect::detail::platform::OpenForExclusiveRead;
using windows_test::HeldOpen;
using windows_test::ScratchPath;
using windows_test::WriteAt;
using windows_test::WriteNewFile;

constexpr std::uint64_t kGiB = std::uint64_t{1} << 30;

// `count` bytes counting up from `first`, so that a piece read from the wrong
// place never matches.
std::vector<std::byte> Pattern(std::size_t count, unsigned first) {
  std::vector<std::byte> bytes(count);
  for (std::size_t i = 0; i < count; ++i) bytes[i] = static_cast<std::byte>((first + i * 7) & 0xFF);
  return bytes;
}

TEST(Win32OpenTest, RefusesWithTheWindowsStatus) {
  ScratchPath directory(".d");
  ASSERT_TRUE(::CreateDirectoryA(directory.str().c_str(), nullptr));
  ScratchPath held(".vhdx");
  WriteNewFile(held.str(), Pattern(4096, 1));
  HeldOpen holder(held.str());
  ASSERT_TRUE(holder.held());

  struct Case {
    const char* what;
    std::string path;
    vhdx_inspect::detail::platform::ErrorCode status;
  };
  const Case cases[] = {
      {"missing file", directory.str() + "\\missing.vhdx", ERROR_FILE_NOT_FOUND},        // 2
      {"missing folder", directory.str() + "\\none\\image.vhdx", ERROR_PATH_NOT_FOUND},  // 3
      {"directory", directory.str(), ERROR_ACCESS_DENIED},                               // 5
      {"held by another handle", held.str(), ERROR_SHARING_VIOLATION},                   // 32
      {"character device", "NUL", ERROR_ACCESS_DENIED},                                  // 5
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const vhdx_inspect::detail::platform::OpenResult result = OpenForExclusiveRead(c.path);
    EXPECT_EQ(result.file, nullptr);
    EXPECT_EQ(result.status, c.status);
  }
}

TEST(Win32OpenTest, HoldsTheFileExclusivelyUntilDestroyed) {
  ScratchPath image(".vhdx");
  WriteNewFile(image.str(), Pattern(4096, 1));
  {
    vhdx_inspect::detail::platform::OpenResult first = OpenForExclusiveRead(image.str());
    ASSERT_NE(first.file, nullptr);
    EXPECT_EQ(first.status, 0u);

    EXPECT_EQ(OpenForExclusiveRead(image.str()).status,
              vhdx_inspect::detail::platform::ErrorCode{ERROR_SHARING_VIOLATION});
    HeldOpen other(image.str());
    EXPECT_FALSE(other.held());
    EXPECT_EQ(other.status(), DWORD{ERROR_SHARING_VIOLATION});
  }
  HeldOpen afterwards(image.str());
  EXPECT_TRUE(afterwards.held()) << "status " << afterwards.status();
}

TEST(Win32FileTest, ReadsFromAnyPositionOfASparseFileBeyond4GiB) {
  ScratchPath image(".vhdx");
  const std::vector<std::byte> start = Pattern(4096, 1);
  WriteNewFile(image.str(), start);
  // One piece across the 4 GiB boundary, one far beyond it; the low 32 bits
  // of both positions point into the first 4096 bytes, which differ.
  const std::uint64_t acrossBoundary = 4 * kGiB - 512;
  const std::uint64_t beyond = 6 * kGiB + 1000;
  const std::vector<std::byte> across = Pattern(1024, 3);
  const std::vector<std::byte> beyondBytes = Pattern(3000, 5);
  WriteAt(image.str(), acrossBoundary, across);
  WriteAt(image.str(), beyond, beyondBytes);

  vhdx_inspect::detail::platform::OpenResult opened = OpenForExclusiveRead(image.str());
  ASSERT_NE(opened.file, nullptr) << "status " << opened.status;
  vhdx_inspect::detail::platform::File& file = *opened.file;
  std::vector<std::byte> buffer(8192, std::byte{0xAA});
  std::uint32_t count = 0;

  ASSERT_TRUE(file.Seek(acrossBoundary));
  ASSERT_TRUE(file.Read(buffer.data(), 1024, count));
  ASSERT_EQ(count, 1024u);
  EXPECT_TRUE(std::equal(across.begin(), across.end(), buffer.begin()));

  ASSERT_TRUE(file.Seek(beyond));
  ASSERT_TRUE(file.Read(buffer.data(), 3000, count));
  ASSERT_EQ(count, 3000u);
  EXPECT_TRUE(std::equal(beyondBytes.begin(), beyondBytes.end(), buffer.begin()));

  // A hole reads as zeros.
  ASSERT_TRUE(file.Seek(5 * kGiB));
  ASSERT_TRUE(file.Read(buffer.data(), 4096, count));
  ASSERT_EQ(count, 4096u);
  EXPECT_TRUE(std::all_of(buffer.begin(), buffer.begin() + 4096, [](std::byte b) { return b == std::byte{0}; }));

  // Reads go on from where the last one ended.
  ASSERT_TRUE(file.Seek(0));
  ASSERT_TRUE(file.Read(buffer.data(), 1000, count));
  ASSERT_TRUE(file.Read(buffer.data() + 1000, 3096, count));
  EXPECT_TRUE(std::equal(start.begin(), start.end(), buffer.begin()));
}

TEST(Win32FileTest, ReadsShortOnlyAtTheEnd) {
  ScratchPath image(".vhdx");
  const std::vector<std::byte> contents = Pattern(5000, 9);
  WriteNewFile(image.str(), contents);
  vhdx_inspect::detail::platform::OpenResult opened = OpenForExclusiveRead(image.str());
  ASSERT_NE(opened.file, nullptr) << "status " << opened.status;
  std::vector<std::byte> buffer(8192);
  std::uint32_t count = 12345;

  ASSERT_TRUE(opened.file->Seek(4000));
  ASSERT_TRUE(opened.file->Read(buffer.data(), 8192, count));
  EXPECT_EQ(count, 1000u);
  EXPECT_TRUE(std::equal(contents.begin() + 4000, contents.end(), buffer.begin()));

  ASSERT_TRUE(opened.file->Read(buffer.data(), 8192, count));
  EXPECT_EQ(count, 0u);

  ASSERT_TRUE(opened.file->Seek(8 * kGiB));  // past the end: allowed, reads nothing
  ASSERT_TRUE(opened.file->Read(buffer.data(), 8192, count));
  EXPECT_EQ(count, 0u);

  ASSERT_TRUE(opened.file->Seek(0));
  ASSERT_TRUE(opened.file->Read(buffer.data(), 0, count));
  EXPECT_EQ(count, 0u);
}

TEST(Win32FileTest, RefusesAPositionBeyondTheSignedRange) {
  ScratchPath image(".vhdx");
  WriteNewFile(image.str(), Pattern(512, 1));
  vhdx_inspect::detail::platform::OpenResult opened = OpenForExclusiveRead(image.str());
  ASSERT_NE(opened.file, nullptr) << "status " << opened.status;
  EXPECT_FALSE(opened.file->Seek(std::uint64_t{1} << 63));
  EXPECT_EQ(opened.file->LastError(), vhdx_inspect::detail::platform::ErrorCode{ERROR_NEGATIVE_SEEK});  // 131
}

TEST(Win32ZeroedBufferTest, StartsZeroFilledAndWritable) {
  for (const std::size_t size :
       {std::size_t{1}, std::size_t{4096}, std::size_t{1} << 20, std::size_t{2} << 20, (std::size_t{2} << 20) + 3}) {
    SCOPED_TRACE(size);
    vhdx_inspect::detail::platform::ZeroedBuffer buffer(size);
    ASSERT_NE(buffer.data(), nullptr);
    ASSERT_EQ(buffer.size(), size);
    EXPECT_TRUE(std::all_of(buffer.span().begin(), buffer.span().end(), [](std::byte b) { return b == std::byte{0}; }));
    std::fill(buffer.span().begin(), buffer.span().end(), std::byte{0x5A});
    EXPECT_EQ(buffer.data()[size - 1], std::byte{0x5A});
  }
}

TEST(Win32ZeroedBufferTest, AFailedAllocationLeavesAnEmptyBuffer) {
  for (const std::size_t size : {std::size_t{0}, std::size_t{1} << 62}) {
    SCOPED_TRACE(size);
    vhdx_inspect::detail::platform::ZeroedBuffer buffer(size);
    EXPECT_EQ(buffer.data(), nullptr);
    EXPECT_EQ(buffer.size(), 0u);
    EXPECT_TRUE(buffer.span().empty());
  }
}

}  // namespace
