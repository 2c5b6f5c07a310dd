#include "fuzz/sparse_image.h"

#include <algorithm>
#include <cstring>

#include "vhdx/crc32c.h"
#include "vhdx/header_section_records.h"

namespace fuzz {
namespace {

std::uint64_t LoadLittleEndian(std::span<const std::byte> bytes, std::size_t width) {
  std::uint64_t value = 0;
  for (std::size_t i = width; i-- > 0;) value = (value << 8) | std::to_integer<std::uint64_t>(bytes[i]);
  return value;
}

void AppendLittleEndian(std::vector<std::byte>& out, std::uint64_t value, std::size_t width) {
  for (std::size_t i = 0; i < width; ++i) out.push_back(static_cast<std::byte>(value >> (8 * i)));
}

// A gap of zeros shorter than this stays inside one patch: a new patch
// would cost more than the zeros.
constexpr std::size_t kLongestZeroRunInsidePatch = 16;

}  // namespace

SparseImageBuffer::SparseImageBuffer() : bytes_(kMaxImageSize) {}

void SparseImageBuffer::Write(std::size_t offset, std::span<const std::byte> bytes) {
  if (offset >= fileSize_) return;
  const std::size_t length = std::min(bytes.size(), fileSize_ - offset);
  if (length == 0) return;
  std::memcpy(bytes_.data() + offset, bytes.data(), length);
  written_.emplace_back(offset, length);
}

void SparseImageBuffer::FixChecksum(std::size_t structure, std::size_t length) {
  if (fileSize_ < structure || fileSize_ - structure < length) return;
  std::byte* field = bytes_.data() + structure + vhdx_inspect::detail::vhdx::kChecksumFieldOffset;
  std::memset(field, 0, 4);
  const std::uint32_t checksum =
      vhdx_inspect::detail::vhdx::crc32c(0xFFFFFFFF, bytes_.data() + structure, static_cast<std::uint32_t>(length));
  std::vector<std::byte> stored;
  AppendLittleEndian(stored, checksum, 4);
  Write(structure + vhdx_inspect::detail::vhdx::kChecksumFieldOffset, stored);
}

std::span<const std::byte> SparseImageBuffer::Assemble(std::span<const std::byte> input) {
  for (const auto& [offset, length] : written_) std::memset(bytes_.data() + offset, 0, length);
  written_.clear();
  fileSize_ = 0;
  flags_ = 0;
  if (input.size() < kPrefixSize) return {};

  flags_ = std::to_integer<std::uint8_t>(input[0]);
  fileSize_ = static_cast<std::size_t>(std::min<std::uint64_t>(LoadLittleEndian(input.subspan(1), 4), kMaxImageSize));
  for (std::size_t at = kPrefixSize; input.size() - at >= kPatchHeaderSize;) {
    const auto offset = static_cast<std::size_t>(LoadLittleEndian(input.subspan(at), 4));
    const auto length = static_cast<std::size_t>(LoadLittleEndian(input.subspan(at + 4), 2));
    at += kPatchHeaderSize;
    const std::span<const std::byte> patch = input.subspan(at, std::min(length, input.size() - at));
    at += patch.size();
    Write(offset, patch);
  }

  if ((flags_ & kKeepHeaderChecksums) == 0) {
    FixChecksum(vhdx_inspect::detail::vhdx::kHeader1Offset, vhdx_inspect::detail::vhdx::kHeaderSize);
    FixChecksum(vhdx_inspect::detail::vhdx::kHeader2Offset, vhdx_inspect::detail::vhdx::kHeaderSize);
  }
  if ((flags_ & kKeepRegionTableChecksums) == 0) {
    FixChecksum(vhdx_inspect::detail::vhdx::kRegionTable1Offset, vhdx_inspect::detail::vhdx::kRegionTableSize);
    FixChecksum(vhdx_inspect::detail::vhdx::kRegionTable2Offset, vhdx_inspect::detail::vhdx::kRegionTableSize);
  }
  return std::span<const std::byte>(bytes_.data(), fileSize_);
}

std::vector<std::byte> EncodeSparseImage(std::span<const std::byte> image, std::uint8_t flags) {
  std::vector<std::byte> out;
  out.push_back(static_cast<std::byte>(flags));
  AppendLittleEndian(out, std::min<std::uint64_t>(image.size(), kMaxImageSize), 4);

  const std::size_t end = std::min(image.size(), kMaxImageSize);
  std::size_t at = 0;
  while (at < end) {
    if (image[at] == std::byte{0}) {
      ++at;
      continue;
    }
    // A patch from here to the last non-zero byte before a long zero run.
    std::size_t last = at;
    for (std::size_t i = at; i < end && i - at < kMaxPatchLength; ++i) {
      if (image[i] != std::byte{0}) {
        last = i;
      } else if (i - last > kLongestZeroRunInsidePatch) {
        break;
      }
    }
    const std::size_t length = last + 1 - at;
    AppendLittleEndian(out, at, 4);
    AppendLittleEndian(out, length, 2);
    out.insert(out.end(), image.begin() + static_cast<std::ptrdiff_t>(at),
               image.begin() + static_cast<std::ptrdiff_t>(at + length));
    at += length;
  }
  return out;
}

}  // namespace fuzz
