#include "support/counting_file.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>

namespace testsupport {
namespace {

class CountingFile final : public vhdx_inspect::detail::platform::File {
 public:
  CountingFile(std::span<const std::byte> bytes, ReadCount& count, LengthKnown lengthKnown)
      : bytes_(bytes), count_(count), lengthKnown_(lengthKnown) {}

  bool Read(void* buffer, std::uint32_t size, std::uint32_t& bytesRead) override {
    const std::uint64_t available = position_ < bytes_.size() ? bytes_.size() - position_ : 0;
    const auto delivered = static_cast<std::uint32_t>(std::min<std::uint64_t>(size, available));
    if (delivered != 0) std::memcpy(buffer, bytes_.data() + position_, delivered);
    count_.requests.push_back({position_, size, delivered});
    position_ += delivered;
    bytesRead = delivered;
    return true;
  }

  bool Seek(std::uint64_t offset) override {
    if (offset > static_cast<std::uint64_t>(INT64_MAX)) return false;
    position_ = offset;
    return true;
  }

  vhdx_inspect::detail::platform::ErrorCode LastError() const override {
    return vhdx_inspect::detail::platform::kInvalidPositionStatus;
  }

  std::optional<std::uint64_t> Size() const override {
    if (lengthKnown_ == LengthKnown::kNo) return std::nullopt;
    return bytes_.size();
  }

 private:
  std::span<const std::byte> bytes_;
  ReadCount& count_;
  LengthKnown lengthKnown_;
  std::uint64_t position_ = 0;
};

}  // namespace

std::uint64_t ReadCount::bytes() const {
  std::uint64_t total = 0;
  for (const ReadRequest& r : requests) total += r.delivered;
  return total;
}

bool ReadCount::anyByteReadTwice() const {
  std::vector<ReadRequest> sorted = requests;
  std::sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) { return a.position < b.position; });
  for (std::size_t i = 1; i < sorted.size(); ++i) {
    if (sorted[i - 1].position + sorted[i - 1].delivered > sorted[i].position) return true;
  }
  return false;
}

vhdx_inspect::detail::platform::OpenResult OpenCountingFile(std::span<const std::byte> bytes, ReadCount& count,
                                                            LengthKnown lengthKnown) {
  return {std::make_unique<CountingFile>(bytes, count, lengthKnown), 0};
}

}  // namespace testsupport
