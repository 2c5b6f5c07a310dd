#include "platform/memory_file.h"

#include <gtest/gtest.h>

#include <array>

namespace vhdx_inspect::detail::platform {
namespace {

TEST(MemoryFile, ReadsLikeAFile) {
  const std::array<std::byte, 5> bytes{std::byte{1}, std::byte{2}, std::byte{3}, std::byte{4}, std::byte{5}};
  const auto file = MakeMemoryFile(bytes);
  std::array<std::byte, 8> buffer{};
  std::uint32_t count = 0;
  ASSERT_TRUE(file->Read(buffer.data(), 2, count));
  EXPECT_EQ(count, 2u);
  ASSERT_TRUE(file->Read(buffer.data(), 8, count));
  EXPECT_EQ(count, 3u);
  EXPECT_EQ(buffer[0], std::byte{3});
  ASSERT_TRUE(file->Seek(0xFFFFFFFFull));
  ASSERT_TRUE(file->Read(buffer.data(), 8, count));
  EXPECT_EQ(count, 0u);
  EXPECT_FALSE(file->Seek(0x8000000000000000ull));
  // The platform's own status for a position outside the range (EINVAL on
  // POSIX, ERROR_NEGATIVE_SEEK on Windows), as a real file reports it.
  EXPECT_EQ(file->LastError(), kInvalidPositionStatus);
}

}  // namespace
}  // namespace vhdx_inspect::detail::platform
