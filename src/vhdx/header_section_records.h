// The VHDX header section: file identifier, headers and region table, as
// published in the VHDX format, with the values this reader accepts.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "encoding/little_endian.h"

namespace vhdx_inspect::detail::vhdx {

using encoding::Guid;
using encoding::le_u16;
using encoding::le_u32;
using encoding::le_u64;

inline constexpr std::uint32_t kHeaderSectionSize = 1048576;
inline constexpr std::size_t kHeader1Offset = 0x10000;
inline constexpr std::size_t kHeader2Offset = 0x20000;
inline constexpr std::size_t kRegionTable1Offset = 0x30000;
inline constexpr std::size_t kRegionTable2Offset = 0x40000;
inline constexpr std::uint32_t kHeaderSize = 4096;
inline constexpr std::uint32_t kRegionTableSize = 65536;
// The part of the header section the checks examine: up to the end of the
// second region table copy; the reserved rest is never looked at.
inline constexpr std::uint32_t kExaminedHeaderSectionSize = kRegionTable2Offset + kRegionTableSize;

struct FILE_IDENTIFIER {
  std::array<std::uint8_t, 8> Signature;
  std::array<std::uint8_t, 80> Creator;  // the part of the 512-byte field that is examined
};
static_assert(sizeof(FILE_IDENTIFIER) == 88);
static_assert(offsetof(FILE_IDENTIFIER, Creator) == 8);

struct VHDX_HEADER {
  std::array<std::uint8_t, 4> Signature;
  le_u32 Checksum;
  le_u64 SequenceNumber;
  Guid FileWriteGuid;
  Guid DataWriteGuid;
  Guid LogGuid;
  le_u16 LogVersion;
  le_u16 Version;
  le_u32 LogLength;
  le_u64 LogOffset;
};
static_assert(sizeof(VHDX_HEADER) == 80);
static_assert(offsetof(VHDX_HEADER, Checksum) == 4);
static_assert(offsetof(VHDX_HEADER, SequenceNumber) == 8);
static_assert(offsetof(VHDX_HEADER, LogVersion) == 64);
static_assert(offsetof(VHDX_HEADER, Version) == 66);
static_assert(offsetof(VHDX_HEADER, LogLength) == 68);
static_assert(offsetof(VHDX_HEADER, LogOffset) == 72);

struct REGION_TABLE_ENTRY {
  encoding::Guid Guid;
  le_u64 FileOffset;
  le_u32 Length;
  le_u32 Required;
};
static_assert(sizeof(REGION_TABLE_ENTRY) == 32);
static_assert(offsetof(REGION_TABLE_ENTRY, FileOffset) == 16);
static_assert(offsetof(REGION_TABLE_ENTRY, Length) == 24);

struct REGION_TABLE_HEADER {
  std::array<std::uint8_t, 4> Signature;
  le_u32 Checksum;
  le_u32 EntryCount;
  le_u32 Reserved;
  REGION_TABLE_ENTRY Entries[2];  // the BAT entry, then the metadata entry
};
static_assert(sizeof(REGION_TABLE_HEADER) == 80);
static_assert(offsetof(REGION_TABLE_HEADER, EntryCount) == 8);
static_assert(offsetof(REGION_TABLE_HEADER, Entries) == 16);

// Offset of the Checksum field in both a header and a region table.
inline constexpr std::size_t kChecksumFieldOffset = offsetof(VHDX_HEADER, Checksum);
static_assert(offsetof(REGION_TABLE_HEADER, Checksum) == kChecksumFieldOffset);

inline constexpr std::array<std::uint8_t, 8> kVhdxSignature{'v', 'h', 'd', 'x', 'f', 'i', 'l', 'e'};
inline constexpr std::array<std::uint8_t, 8> kVhdxAlternativeSignature{'v', 'h', 'd', 'x', '.', 't', 'w', 'b'};
inline constexpr std::array<std::uint8_t, 4> kHeaderSignature{'h', 'e', 'a', 'd'};
inline constexpr std::array<std::uint8_t, 4> kRegionTableSignature{'r', 'e', 'g', 'i'};

// "Tallowbridge Technology Corporation 1.0" in UTF-16LE with its terminator.
inline constexpr std::array<std::uint8_t, 80> kRequiredCreator = [] {
  constexpr char kText[] = "Tallowbridge Technology Corporation 1.0";
  static_assert(sizeof(kText) == 40);
  std::array<std::uint8_t, 80> utf16{};
  for (std::size_t i = 0; i < sizeof(kText); ++i) utf16[2 * i] = static_cast<std::uint8_t>(kText[i]);
  return utf16;
}();

inline constexpr Guid BatRegionGuid{
    {0x66, 0x77, 0xC2, 0x2D, 0x23, 0xF6, 0x00, 0x42, 0x9D, 0x64, 0x11, 0x5E, 0x9B, 0xFD, 0x4A, 0x08}};
inline constexpr Guid MetadataRegionGuid{
    {0x06, 0xA2, 0x7C, 0x8B, 0x90, 0x47, 0x9A, 0x4B, 0xB8, 0xFE, 0x57, 0x5F, 0x05, 0x0F, 0x88, 0x6E}};

}  // namespace vhdx_inspect::detail::vhdx
