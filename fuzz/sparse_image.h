// The fuzz target's input format: a plugin VHDX image written as the bytes
// that are not zero, over an all-zero file of a given size.
//
//   byte 0        flags (kKeepHeaderChecksums, kKeepRegionTableChecksums,
//                 kStartInHexadecimal)
//   bytes 1..4    file size, little-endian (at most kMaxImageSize is kept)
//   then, until the input ends, patches:
//     4 bytes     file offset, little-endian
//     2 bytes     length n, little-endian
//     n bytes     the bytes at that offset (fewer if the input ends first)
//
// A patch, or the part of it, that lies past the file size is dropped. Unless
// the flags say otherwise, the checksums of both headers and both region
// tables are recomputed after the patches, so that a change anywhere in the
// header section reaches the checks behind the checksums.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <utility>
#include <vector>

namespace fuzz {

inline constexpr std::size_t kMaxImageSize = 8 * 1024 * 1024;
inline constexpr std::size_t kPrefixSize = 5;  // flags and file size
inline constexpr std::size_t kPatchHeaderSize = 6;
inline constexpr std::size_t kMaxPatchLength = 0xFFFF;

inline constexpr std::uint8_t kKeepHeaderChecksums = 0x01;
inline constexpr std::uint8_t kKeepRegionTableChecksums = 0x02;
// The output stream starts in hexadecimal with the base prefix, as it is after
// an earlier image of a directory scan.
inline constexpr std::uint8_t kStartInHexadecimal = 0x04;

// Turns inputs into images in one buffer of kMaxImageSize bytes that is
// reused from input to input; only what the last input wrote is cleared.
class SparseImageBuffer {
 public:
  SparseImageBuffer();

  // The file that `input` describes; valid until the next call.
  std::span<const std::byte> Assemble(std::span<const std::byte> input);
  std::uint8_t flags() const { return flags_; }

 private:
  void Write(std::size_t offset, std::span<const std::byte> bytes);
  void FixChecksum(std::size_t structure, std::size_t length);

  std::vector<std::byte> bytes_;
  std::vector<std::pair<std::size_t, std::size_t>> written_;  // offset, length
  std::size_t fileSize_ = 0;
  std::uint8_t flags_ = 0;
};

// The input that describes `image`: its runs of non-zero bytes as patches.
std::vector<std::byte> EncodeSparseImage(std::span<const std::byte> image, std::uint8_t flags = 0);

}  // namespace fuzz
