#include "platform/memory_file.h"

#include <algorithm>
#include <cstring>

namespace vhdx_inspect::detail::platform {
namespace {

class MemoryFile final : public File {
 public:
  explicit MemoryFile(std::span<const std::byte> bytes) : bytes_(bytes) {}

  bool Read(void* buffer, std::uint32_t size, std::uint32_t& bytesRead) override {
    const std::uint64_t available = position_ < bytes_.size() ? bytes_.size() - position_ : 0;
    const auto count = static_cast<std::uint32_t>(std::min<std::uint64_t>(size, available));
    if (count != 0) {
      std::memcpy(buffer, bytes_.data() + position_, count);
    }
    position_ += count;
    bytesRead = count;
    return true;
  }

  bool Seek(std::uint64_t offset) override {
    if (offset > static_cast<std::uint64_t>(INT64_MAX)) {
      lastError_ = kInvalidPositionStatus;
      return false;
    }
    position_ = offset;
    return true;
  }

  ErrorCode LastError() const override { return lastError_; }

  std::optional<std::uint64_t> Size() const override { return bytes_.size(); }

 private:
  std::span<const std::byte> bytes_;
  std::uint64_t position_ = 0;
  ErrorCode lastError_ = 0;
};

}  // namespace

std::unique_ptr<File> MakeMemoryFile(std::span<const std::byte> bytes) { return std::make_unique<MemoryFile>(bytes); }

}  // namespace vhdx_inspect::detail::platform
