// The VHDX metadata table and the plugin metadata item with its volume records.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "encoding/little_endian.h"
#include "vhdx_inspect/check.h"

namespace vhdx_inspect::detail::vhdx {

using encoding::Guid;
using encoding::le_i64;
using encoding::le_u16;
using encoding::le_u32;
using encoding::le_u64;

inline constexpr std::uint32_t kMetadataRegionReadSize = 2097152;
inline constexpr std::uint32_t kRequiredBlockSize = 33554432;

struct METADATA_TABLE_HEADER {
  std::array<std::uint8_t, 8> Signature;
  le_u16 Reserved;
  le_u16 EntryCount;
  std::array<std::uint8_t, 20> Reserved2;
};
static_assert(sizeof(METADATA_TABLE_HEADER) == 32);
static_assert(offsetof(METADATA_TABLE_HEADER, EntryCount) == 10);

struct METADATA_TABLE_ENTRY {
  Guid ItemId;
  le_u32 Offset;
  le_u32 Length;
  le_u32 Flags;
  le_u32 Reserved;
};
static_assert(sizeof(METADATA_TABLE_ENTRY) == 32);
static_assert(offsetof(METADATA_TABLE_ENTRY, Offset) == 16);
static_assert(offsetof(METADATA_TABLE_ENTRY, Length) == 20);

// The table header followed by the six entries this reader expects.
struct METADATA_TABLE {
  METADATA_TABLE_HEADER Header;
  METADATA_TABLE_ENTRY Entries[6];
};
static_assert(sizeof(METADATA_TABLE) == 224);

// An item taken by its position in the table, with the check that refuses
// an offset that would reach past the region buffer.
struct MetadataItem {
  std::size_t entry;
  vhdx_inspect::Check offsetCheck;
};
inline constexpr MetadataItem kFileParameters{0, vhdx_inspect::Check::kFileParametersOffset};
inline constexpr MetadataItem kVirtualDiskSize{1, vhdx_inspect::Check::kVirtualDiskSizeOffset};
inline constexpr MetadataItem kLogicalSectorSize{2, vhdx_inspect::Check::kLogicalSectorSizeOffset};
inline constexpr MetadataItem kPhysicalSectorSize{3, vhdx_inspect::Check::kPhysicalSectorSizeOffset};
inline constexpr MetadataItem kPluginMetadata{5, vhdx_inspect::Check::kPluginMetadataOffset};

inline constexpr std::array<std::uint8_t, 8> kMetadataTableSignature{'m', 'e', 't', 'a', 'd', 'a', 't', 'a'};

inline constexpr Guid PluginMetadataGuid{
    {0x62, 0x58, 0xF2, 0xE5, 0x33, 0x23, 0xFD, 0x4B, 0x99, 0xE7, 0x4B, 0xE0, 0x54, 0x1E, 0xAF, 0x16}};

struct PLUGIN_METADATA_ENTRY {
  le_u32 cbSize;
  le_u32 cbMetaDataOffset;
};
static_assert(sizeof(PLUGIN_METADATA_ENTRY) == 8);
static_assert(offsetof(PLUGIN_METADATA_ENTRY, cbMetaDataOffset) == 4);

inline constexpr std::size_t kMaxVolumes = 16;

// The fields of the plugin item's header that are read; its size total counts
// the header as kPluginHeaderSize bytes.
struct PLUGIN_VHDX_METADATA {
  le_u32 Revision;
  std::array<std::uint8_t, 4> Unused;
  le_i64 nVirtualDiskSize;
  le_i64 nMbrGptSize;
  le_i64 nGptTrailerLength;
  le_i64 nGptTrailerDiskOffset;
  PLUGIN_METADATA_ENTRY MetaData[kMaxVolumes];
  le_u32 cbMaxMetaData;
  le_u32 cbTotalMetaData;
};
static_assert(sizeof(PLUGIN_VHDX_METADATA) == 176);
static_assert(offsetof(PLUGIN_VHDX_METADATA, nVirtualDiskSize) == 8);
static_assert(offsetof(PLUGIN_VHDX_METADATA, nMbrGptSize) == 16);
static_assert(offsetof(PLUGIN_VHDX_METADATA, nGptTrailerLength) == 24);
static_assert(offsetof(PLUGIN_VHDX_METADATA, nGptTrailerDiskOffset) == 32);
static_assert(offsetof(PLUGIN_VHDX_METADATA, MetaData) == 40);
static_assert(offsetof(PLUGIN_VHDX_METADATA, cbMaxMetaData) == 168);
static_assert(offsetof(PLUGIN_VHDX_METADATA, cbTotalMetaData) == 172);

inline constexpr std::uint32_t kPluginHeaderSize = 4096;

// The fixed part of a volume record; ImageFileList follows it.
struct VOLUME_PLUGIN_METADATA {
  le_u32 MySize;
  std::array<std::uint8_t, 12> Unused1;
  le_i64 nVolumeSize;
  std::array<std::uint8_t, 8> Unused2;
  le_u32 cbPasswordOffset;
  le_u16 cbPassword;
  std::array<std::uint8_t, 28> Unused3;
};
static_assert(sizeof(VOLUME_PLUGIN_METADATA) == 66);
static_assert(offsetof(VOLUME_PLUGIN_METADATA, nVolumeSize) == 16);
static_assert(offsetof(VOLUME_PLUGIN_METADATA, cbPasswordOffset) == 32);
static_assert(offsetof(VOLUME_PLUGIN_METADATA, cbPassword) == 36);

inline constexpr std::size_t kImageFileListOffset = sizeof(VOLUME_PLUGIN_METADATA);

}  // namespace vhdx_inspect::detail::vhdx
