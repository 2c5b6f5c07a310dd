// Small GPT headers and entry arrays for the decoding and verification tests.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "byte_fixture.h"
#include "independent_crc32.h"
#include "partition/gpt_records.h"

namespace vhdx_inspect::detail::partition::testing {

using HeaderBytes = std::array<std::byte, kEfiHeaderSize>;
using EntryArray = std::array<std::byte, kGptEntryArraySize>;

inline constexpr std::array<std::uint8_t, 16> kBasicDataType{0xA2, 0xA0, 0xD0, 0xEB, 0xE5, 0xB9, 0x33, 0x44,
                                                             0x87, 0xC0, 0x68, 0xB6, 0xB7, 0x26, 0x99, 0xC7};
inline constexpr std::array<std::uint8_t, 16> kReservedType{0x16, 0xE3, 0xC9, 0xE3, 0x5C, 0x0B, 0xB8, 0x4D,
                                                            0x81, 0x7D, 0xF9, 0x2D, 0xF0, 0x02, 0x15, 0xAE};
inline constexpr std::array<std::uint8_t, 16> kEfiSystemType{0x28, 0x73, 0x2A, 0xC1, 0x1F, 0xF8, 0xD2, 0x11,
                                                             0xBA, 0x4B, 0x00, 0xA0, 0xC9, 0x3E, 0xC9, 0x3B};
inline constexpr std::array<std::uint8_t, 16> kOtherType{0xAF, 0x3D, 0xC6, 0x0F, 0x83, 0x84, 0x72, 0x47,
                                                         0x8E, 0x79, 0x3D, 0x69, 0xD8, 0x47, 0x7D, 0xE4};

struct Entry {
  std::array<std::uint8_t, 16> type{};
  std::uint8_t uniqueSeed = 1;  // 0 makes an all-zero unique GUID
  std::uint64_t firstLba = 0;
  std::uint64_t lastLba = 0;
  std::uint64_t attributes = 0;
  std::u16string name;
};

inline void PutEntry(EntryArray& array, std::size_t index, const Entry& e) {
  const std::size_t at = index * kGptEntrySize;
  for (std::size_t i = 0; i < 16; ++i) array[at + i] = std::byte{e.type[i]};
  for (std::size_t i = 0; i < 16; ++i) {
    array[at + 16 + i] = e.uniqueSeed == 0 ? std::byte{0} : static_cast<std::byte>(e.uniqueSeed + i);
  }
  Put64(array, at + 32, e.firstLba);
  Put64(array, at + 40, e.lastLba);
  Put64(array, at + 48, e.attributes);
  PutUtf16(array, at + 56, e.name);
}

struct Header {
  std::uint64_t myLba = 1;
  std::uint64_t alternateLba = 0x1FFFFF;
  std::uint64_t firstUsableLba = 34;
  std::uint64_t lastUsableLba = 0x1FFFDE;
  std::uint64_t partitionEntryLba = 2;
  std::uint32_t headerSize = 92;
  std::uint32_t entryCount = 128;
};

// A header with both checksums right for `entries` (by zlib's CRC-32).
inline HeaderBytes MakeHeader(const Header& h, const EntryArray& entries) {
  HeaderBytes bytes{};
  PutText(bytes, 0, "EFI PART");
  Put32(bytes, 8, 0x00010000);
  Put32(bytes, 12, h.headerSize);
  Put64(bytes, 24, h.myLba);
  Put64(bytes, 32, h.alternateLba);
  Put64(bytes, 40, h.firstUsableLba);
  Put64(bytes, 48, h.lastUsableLba);
  for (std::size_t i = 0; i < 16; ++i) bytes[56 + i] = static_cast<std::byte>(0x40 + i);
  Put64(bytes, 72, h.partitionEntryLba);
  Put32(bytes, 80, h.entryCount);
  Put32(bytes, 84, 128);
  Put32(bytes, 88, ZlibCrc32(entries));
  Put32(bytes, 16, ZlibCrc32WithFieldZeroed(bytes, 16));
  return bytes;
}

// The backup of a primary header: LBAs crossed, entries at the disk's end.
inline Header BackupOf(const Header& primary) {
  Header backup = primary;
  backup.myLba = primary.alternateLba;
  backup.alternateLba = primary.myLba;
  backup.partitionEntryLba = primary.alternateLba - 32;
  return backup;
}

}  // namespace vhdx_inspect::detail::partition::testing
