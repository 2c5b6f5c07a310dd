#include "support/faulty_file.h"

#include <memory>

#include "platform/memory_file.h"

namespace testsupport {
namespace {

// The memory file does the reading; this keeps the position so that it can
// tell which read to fail.
class FaultyFile final : public vhdx_inspect::detail::platform::File {
 public:
  FaultyFile(std::span<const std::byte> bytes, ReadLog& log, std::optional<ReadFault> fault)
      : image_(vhdx_inspect::detail::platform::MakeMemoryFile(bytes)), log_(log), fault_(fault) {}

  bool Read(void* buffer, std::uint32_t size, std::uint32_t& bytesRead) override {
    log_.push_back(position_);
    if (fault_ && fault_->position == position_) {
      bytesRead = 0;
      lastError_ = fault_->status;
      return false;
    }
    if (!image_->Read(buffer, size, bytesRead)) {
      lastError_ = image_->LastError();
      return false;
    }
    position_ += bytesRead;
    return true;
  }

  bool Seek(std::uint64_t offset) override {
    if (!image_->Seek(offset)) {
      lastError_ = image_->LastError();
      return false;
    }
    position_ = offset;
    return true;
  }

  vhdx_inspect::detail::platform::ErrorCode LastError() const override { return lastError_; }

 private:
  std::unique_ptr<vhdx_inspect::detail::platform::File> image_;
  ReadLog& log_;
  std::optional<ReadFault> fault_;
  std::uint64_t position_ = 0;
  vhdx_inspect::detail::platform::ErrorCode lastError_ = 0;
};

}  // namespace

vhdx_inspect::detail::platform::OpenResult OpenFaultyFile(std::span<const std::byte> bytes, ReadLog& log,
                                                          std::optional<ReadFault> fault) {
  return {std::make_unique<FaultyFile>(bytes, log, fault), 0};
}

}  // namespace testsupport
