// The zero-filled buffers: every byte of a new buffer reads as zero, and
// ReadFrom leaves zeros wherever a read delivers nothing, also in a buffer
// that an earlier read filled.
#include "platform/zeroed_buffer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/memory_file.h"

namespace vhdx_inspect::detail::platform {
namespace {

constexpr std::byte kDirt{0x5A};

bool AllZero(std::span<const std::byte> bytes) {
  return std::all_of(bytes.begin(), bytes.end(), [](std::byte b) { return b == std::byte{0}; });
}

// Releases a buffer of `size` whose every byte was written, so that the next
// buffer of that size may be made from its memory.
void ReleaseDirtyBuffer(std::size_t size) {
  ZeroedBuffer released(size);
  ASSERT_EQ(released.size(), size);
  std::fill(released.span().begin(), released.span().end(), kDirt);
}

std::vector<std::byte> Pattern(std::size_t size) {
  std::vector<std::byte> bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::byte>(i * 7 + 1);
  return bytes;
}

// A file whose read writes into the buffer and then fails.
class FailingFile final : public File {
 public:
  bool Read(void* buffer, std::uint32_t size, std::uint32_t& bytesRead) override {
    std::memset(buffer, 0x77, std::min<std::uint32_t>(size, 100));
    bytesRead = 0;
    return false;
  }
  bool Seek(std::uint64_t) override { return true; }
  ErrorCode LastError() const override { return 5; }
};

TEST(ZeroedBuffer, StartsZeroFilled) {
  ZeroedBuffer buffer(1 << 20);
  ASSERT_EQ(buffer.size(), std::size_t{1} << 20);
  EXPECT_TRUE(AllZero(buffer.span()));
}

TEST(ZeroedBuffer, ReadsZeroAfterAnEarlierBufferOfTheSameSizeWasWrittenAndReleased) {
  for (const std::size_t size :
       {std::size_t{1}, std::size_t{4096}, std::size_t{1} << 20, std::size_t{2} << 20, (std::size_t{2} << 20) + 3}) {
    SCOPED_TRACE(size);
    ReleaseDirtyBuffer(size);
    ZeroedBuffer buffer(size);
    ASSERT_EQ(buffer.size(), size);
    EXPECT_TRUE(AllZero(buffer.span()));

    ReleaseDirtyBuffer(size);
    ZeroedBuffer firstTouchedThroughData(size);  // through data() first, too
    EXPECT_EQ(firstTouchedThroughData.data()[size - 1], std::byte{0});
    EXPECT_TRUE(AllZero(firstTouchedThroughData.span()));
  }
}

TEST(ZeroedBuffer, BuffersAliveAtTheSameTimeNeverShareMemory) {
  ReleaseDirtyBuffer(4096);
  ReleaseDirtyBuffer(4096);
  ZeroedBuffer first(4096);
  ZeroedBuffer second(4096);
  ASSERT_NE(first.data(), second.data());
  std::fill(first.span().begin(), first.span().end(), kDirt);
  EXPECT_TRUE(AllZero(second.span()));
}

TEST(ZeroedBuffer, ReadFromKeepsWhatTheReadDeliversAndZeroFillsTheRest) {
  struct Case {
    std::size_t fileSize;
    std::size_t bufferSize;
  };
  for (const Case c :
       {Case{4096, 4096}, Case{10, 4096}, Case{0, 4096}, Case{(1 << 20) - 1, 1 << 20}, Case{5000, 4096}}) {
    SCOPED_TRACE(testing::Message() << c.fileSize << " bytes into " << c.bufferSize);
    const std::vector<std::byte> file = Pattern(c.fileSize);
    ZeroedBuffer buffer(c.bufferSize);
    std::fill(buffer.span().begin(), buffer.span().end(), kDirt);  // an earlier image's bytes
    std::uint32_t bytesRead = 12345;
    ASSERT_TRUE(buffer.ReadFrom(*MakeMemoryFile(file), bytesRead));
    const std::size_t delivered = std::min(c.fileSize, c.bufferSize);
    ASSERT_EQ(bytesRead, delivered);
    const std::span<const std::byte> bytes = buffer.span();
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(delivered), file.begin()));
    EXPECT_TRUE(AllZero(bytes.subspan(delivered)));
  }
}

TEST(ZeroedBuffer, ReadFromReadsFromTheFilesCurrentPosition) {
  const std::vector<std::byte> file = Pattern(100);
  const std::unique_ptr<File> opened = MakeMemoryFile(file);
  ASSERT_TRUE(opened->Seek(60));
  ZeroedBuffer buffer(64);
  std::uint32_t bytesRead = 0;
  ASSERT_TRUE(buffer.ReadFrom(*opened, bytesRead));
  ASSERT_EQ(bytesRead, 40u);
  EXPECT_EQ(buffer.data()[0], file[60]);
  EXPECT_EQ(buffer.data()[39], file[99]);
  EXPECT_TRUE(AllZero(buffer.span().subspan(40)));
}

TEST(ZeroedBuffer, AFailedReadLeavesTheBufferAllZero) {
  for (const bool filledBefore : {false, true}) {
    SCOPED_TRACE(filledBefore);
    ZeroedBuffer buffer(4096);
    if (filledBefore) std::fill(buffer.span().begin(), buffer.span().end(), kDirt);
    FailingFile file;
    std::uint32_t bytesRead = 12345;
    EXPECT_FALSE(buffer.ReadFrom(file, bytesRead));
    EXPECT_EQ(bytesRead, 0u);
    EXPECT_TRUE(AllZero(buffer.span()));
  }
}

}  // namespace
}  // namespace vhdx_inspect::detail::platform
