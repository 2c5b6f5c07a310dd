// Where each field of each on-disk record of a plugin VHDX image lies.
//
// A Field is a byte offset inside its record and a width in bytes. The
// PluginImage writers take a record's file offset and a Field, so that a test
// names what it changes: PutInHeader(2, header_field::kSequenceNumber, 7).
// Integers are little-endian; GUIDs are in their on-disk layout.
#pragma once

#include <cstdint>

namespace testsupport {

struct Field {
  std::uint64_t offset;
  std::uint32_t width;
};

// The field `f` of the entry `index` of a table whose entries are `stride`
// bytes apart starting at `first`.
constexpr Field TableEntryField(std::uint64_t first, std::uint64_t stride, int index, Field f) {
  return Field{first + stride * static_cast<std::uint64_t>(index) + f.offset, f.width};
}

// File identifier, at file offset 0.
namespace file_identifier_field {
inline constexpr Field kSignature{0, 8};
inline constexpr Field kCreator{8, 512};
}  // namespace file_identifier_field

// VHDX header, 4096 bytes at 64 KiB (header 1) and 128 KiB (header 2).
namespace header_field {
inline constexpr Field kSignature{0, 4};
inline constexpr Field kChecksum{4, 4};
inline constexpr Field kSequenceNumber{8, 8};
inline constexpr Field kFileWriteGuid{16, 16};
inline constexpr Field kDataWriteGuid{32, 16};
inline constexpr Field kLogGuid{48, 16};
inline constexpr Field kLogVersion{64, 2};
inline constexpr Field kVersion{66, 2};
inline constexpr Field kLogLength{68, 4};
inline constexpr Field kLogOffset{72, 8};
}  // namespace header_field

// Region table, 65536 bytes at 192 KiB (copy 1) and 256 KiB (copy 2).
namespace region_field {
inline constexpr Field kSignature{0, 4};
inline constexpr Field kChecksum{4, 4};
inline constexpr Field kEntryCount{8, 4};
}  // namespace region_field

// Region table entry, 32 bytes each from offset 16 of the table.
namespace region_entry_field {
inline constexpr Field kGuid{0, 16};
inline constexpr Field kFileOffset{16, 8};
inline constexpr Field kLength{24, 4};
inline constexpr Field kRequired{28, 4};
}  // namespace region_entry_field

// A field of region table entry `index` (0 = BAT, 1 = metadata), counted from
// the start of the region table.
constexpr Field RegionEntry(int index, Field f) { return TableEntryField(16, 32, index, f); }

// Metadata table header, at the start of the metadata region.
namespace metadata_field {
inline constexpr Field kSignature{0, 8};
inline constexpr Field kEntryCount{10, 2};
}  // namespace metadata_field

// Metadata table entry, 32 bytes each from offset 32 of the region.
namespace metadata_entry_field {
inline constexpr Field kItemId{0, 16};
inline constexpr Field kOffset{16, 4};
inline constexpr Field kLength{20, 4};
inline constexpr Field kFlags{24, 4};
}  // namespace metadata_entry_field

// Bits of metadata_entry_field::kFlags (published VHDX values).
inline constexpr std::uint32_t kMetadataIsUser = 0x1;
inline constexpr std::uint32_t kMetadataIsVirtualDisk = 0x2;
inline constexpr std::uint32_t kMetadataIsRequired = 0x4;

// A field of metadata table entry `index` (0..5 in a valid image), counted
// from the start of the metadata region.
constexpr Field MetadataEntry(int index, Field f) { return TableEntryField(32, 32, index, f); }

// Positions of the six items in the metadata table of a valid image.
enum MetadataItem : int {
  kFileParametersItem = 0,
  kVirtualDiskSizeItem = 1,
  kLogicalSectorSizeItem = 2,
  kPhysicalSectorSizeItem = 3,
  kPage83DataItem = 4,
  kPluginItem = 5,
};

// File Parameters item.
namespace file_parameters_field {
inline constexpr Field kBlockSize{0, 4};
inline constexpr Field kFlags{4, 4};
}  // namespace file_parameters_field

// Virtual Disk Size, Logical Sector Size and Physical Sector Size items: one
// value each, at the start of the item.
namespace virtual_disk_size_field {
inline constexpr Field kVirtualDiskSize{0, 8};
}  // namespace virtual_disk_size_field
namespace logical_sector_size_field {
inline constexpr Field kLogicalSectorSize{0, 4};
}  // namespace logical_sector_size_field
namespace physical_sector_size_field {
inline constexpr Field kPhysicalSectorSize{0, 4};
}  // namespace physical_sector_size_field

// PLUGIN_VHDX_METADATA: the plugin item's 4096-byte header.
namespace plugin_field {
inline constexpr Field kRevision{0, 4};
inline constexpr Field kVirtualDiskSize{8, 8};        // nVirtualDiskSize
inline constexpr Field kMbrGptSize{16, 8};            // nMbrGptSize
inline constexpr Field kGptTrailerLength{24, 8};      // nGptTrailerLength
inline constexpr Field kGptTrailerDiskOffset{32, 8};  // nGptTrailerDiskOffset
inline constexpr Field kMaxMetaData{168, 4};          // cbMaxMetaData
inline constexpr Field kTotalMetaData{172, 4};        // cbTotalMetaData
}  // namespace plugin_field

// PLUGIN_METADATA_ENTRY: MetaData[i] of the plugin header, 8 bytes each.
namespace plugin_entry_field {
inline constexpr Field kSize{0, 4};            // cbSize
inline constexpr Field kMetaDataOffset{4, 4};  // cbMetaDataOffset
}  // namespace plugin_entry_field

// A field of MetaData[index] (0..15), counted from the start of the plugin item.
constexpr Field PluginEntry(int index, Field f) { return TableEntryField(40, 8, index, f); }

// VOLUME_PLUGIN_METADATA: one volume record.
namespace volume_field {
inline constexpr Field kMySize{0, 4};
inline constexpr Field kVolumeSize{16, 8};      // nVolumeSize
inline constexpr Field kPasswordOffset{32, 4};  // cbPasswordOffset
inline constexpr Field kPassword{36, 2};        // cbPassword
inline constexpr std::uint64_t kImageFileListOffset = 66;
}  // namespace volume_field

// The MBR sector, at the start of the partition-table area.
namespace mbr_field {
inline constexpr Field kDiskSignature{440, 4};
inline constexpr Field kBootSignature{510, 2};  // 0xAA55 as a little-endian integer
}  // namespace mbr_field

// MBR partition record, 16 bytes each from offset 446.
namespace mbr_record_field {
inline constexpr Field kStatus{0, 1};
inline constexpr Field kStartChs{1, 3};
inline constexpr Field kType{4, 1};
inline constexpr Field kEndChs{5, 3};
inline constexpr Field kSectorOffset{8, 4};
inline constexpr Field kSectorCount{12, 4};
}  // namespace mbr_record_field

// A field of MBR partition record `index` (0..3), counted from the MBR sector.
constexpr Field MbrRecord(int index, Field f) { return TableEntryField(446, 16, index, f); }

// GPT header (UEFI), 92 bytes.
namespace gpt_header_field {
inline constexpr Field kSignature{0, 8};
inline constexpr Field kRevision{8, 4};
inline constexpr Field kHeaderSize{12, 4};
inline constexpr Field kHeaderCrc32{16, 4};
inline constexpr Field kMyLba{24, 8};
inline constexpr Field kAlternateLba{32, 8};
inline constexpr Field kFirstUsableLba{40, 8};
inline constexpr Field kLastUsableLba{48, 8};
inline constexpr Field kDiskGuid{56, 16};
inline constexpr Field kPartitionEntryLba{72, 8};
inline constexpr Field kNumberOfPartitionEntries{80, 4};
inline constexpr Field kSizeOfPartitionEntry{84, 4};
inline constexpr Field kPartitionEntryArrayCrc32{88, 4};
}  // namespace gpt_header_field

// GPT partition entry (UEFI), 128 bytes.
namespace gpt_entry_field {
inline constexpr Field kTypeGuid{0, 16};
inline constexpr Field kUniqueGuid{16, 16};
inline constexpr Field kFirstLba{32, 8};
inline constexpr Field kLastLba{40, 8};
inline constexpr Field kAttributes{48, 8};
inline constexpr Field kName{56, 72};
}  // namespace gpt_entry_field

// Fixed sizes of the GPT as this system stores it.
inline constexpr std::uint32_t kGptHeaderSize = 92;
inline constexpr std::uint32_t kGptEntryCount = 128;
inline constexpr std::uint32_t kGptEntrySize = 128;
inline constexpr std::uint32_t kGptEntryArraySize = kGptEntryCount * kGptEntrySize;  // 16384

}  // namespace testsupport
