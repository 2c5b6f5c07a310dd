// The records of one inspection: every value that the checks read and the
// reports show, decoded from the image once. Integers keep the width and
// signedness of their field on disk.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vhdx_inspect {

// A GUID in its 16-byte on-disk layout: a 32-bit and two 16-bit little-endian
// integers, then 8 bytes in order. FormatGuid writes it in registry form.
struct Guid {
  std::array<std::uint8_t, 16> bytes{};
  friend bool operator==(const Guid&, const Guid&) = default;
  bool IsZero() const { return *this == Guid{}; }
};

// "xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx", lower case.
std::string FormatGuid(const Guid& guid);

// The current VHDX header (the one with the higher sequence number).
struct HeaderRecord {
  std::uint64_t sequence_number = 0;
  std::uint16_t version = 0;
  std::uint16_t log_version = 0;
  std::uint32_t log_length = 0;
  std::uint64_t log_offset = 0;
  Guid file_write_guid;
  Guid data_write_guid;
  // Not zero when the image holds a log that was never replayed.
  Guid log_guid;
  friend bool operator==(const HeaderRecord&, const HeaderRecord&) = default;
};

// Where the region table puts the BAT and the metadata region; the data area
// starts right after the BAT.
struct RegionsRecord {
  std::uint64_t bat_offset = 0;
  std::uint32_t bat_length = 0;
  std::uint64_t metadata_offset = 0;
  std::uint32_t metadata_length = 0;
  std::uint64_t data_area_offset = 0;  // bat_offset + bat_length, wrapping
  friend bool operator==(const RegionsRecord&, const RegionsRecord&) = default;
};

// The standard metadata items, and the chunk ratio computed from them.
struct MetadataRecord {
  std::uint32_t block_size = 0;
  std::uint64_t virtual_disk_size = 0;
  std::uint32_t logical_sector_size = 0;
  std::uint32_t physical_sector_size = 0;
  std::uint32_t chunk_ratio = 0;
  friend bool operator==(const MetadataRecord&, const MetadataRecord&) = default;
};

// The plugin metadata item's header.
struct PluginHeaderRecord {
  std::uint32_t offset = 0;  // of the item, from the start of the metadata region
  std::uint32_t length = 0;  // of the item, from its metadata table entry
  std::uint32_t revision = 0;
  std::int64_t virtual_disk_size = 0;     // nVirtualDiskSize
  std::int64_t mbr_gpt_size = 0;          // nMbrGptSize
  std::int64_t gpt_trailer_length = 0;    // nGptTrailerLength
  std::int64_t gpt_trailer_offset = 0;    // nGptTrailerDiskOffset, in the data area
  std::uint32_t max_metadata_size = 0;    // cbMaxMetaData
  std::uint32_t total_metadata_size = 0;  // cbTotalMetaData
  friend bool operator==(const PluginHeaderRecord&, const PluginHeaderRecord&) = default;
};

// One volume: its entry in the plugin header and its record.
struct VolumeRecord {
  std::uint32_t size = 0;             // the entry's cbSize
  std::uint32_t metadata_offset = 0;  // the entry's cbMetaDataOffset, from the plugin item
  std::uint32_t my_size = 0;
  std::int64_t volume_size = 0;  // nVolumeSize
  std::uint16_t password_size = 0;
  std::uint32_t password_offset = 0;
  // The image file list: its length in bytes before the terminating zero
  // code unit, and its text as UTF-8 (a lone surrogate becomes U+FFFD).
  std::uint64_t image_file_list_bytes = 0;
  std::string image_file_list;
  friend bool operator==(const VolumeRecord&, const VolumeRecord&) = default;
};

// The three sizes of the partition tables in the data area, as the plugin
// header gives them.
struct PartitionAreaRecord {
  std::int64_t mbr_gpt_size = 0;
  std::int64_t gpt_trailer_length = 0;
  std::int64_t gpt_trailer_offset = 0;
  friend bool operator==(const PartitionAreaRecord&, const PartitionAreaRecord&) = default;
};

struct MbrPartitionRecord {
  bool bootable = false;
  std::uint8_t status = 0;
  std::uint8_t start_head = 0;
  std::uint16_t start_cylinder = 0;
  std::uint8_t start_sector = 0;
  std::uint8_t type = 0;
  std::uint8_t end_head = 0;
  std::uint16_t end_cylinder = 0;
  std::uint8_t end_sector = 0;
  std::uint32_t sector_offset = 0;
  std::uint32_t sector_count = 0;
  friend bool operator==(const MbrPartitionRecord&, const MbrPartitionRecord&) = default;
};

struct MbrRecord {
  std::uint32_t disk_signature = 0;
  std::array<MbrPartitionRecord, 4> partitions{};
  friend bool operator==(const MbrRecord&, const MbrRecord&) = default;
};

struct GptEntryRecord {
  Guid type_guid;
  Guid unique_guid;
  std::uint64_t first_lba = 0;
  std::uint64_t last_lba = 0;
  std::uint64_t attributes = 0;
  // The type as the report names it ("Unknown partition type" when unknown);
  // the text lives as long as the program.
  std::string_view type_name;
  // The name's UTF-16 code units up to the first zero (at most 36), as UTF-8
  // (a lone surrogate becomes U+FFFD).
  std::string name;
  // False when the type is known and the name does not begin with the name
  // that type is expected to carry.
  bool name_fits_type = true;
  friend bool operator==(const GptEntryRecord&, const GptEntryRecord&) = default;
};

struct GptRecord {
  std::array<std::uint8_t, 8> signature{};
  std::uint32_t revision = 0;
  std::uint32_t header_size = 0;
  std::uint32_t header_crc32 = 0;
  std::uint64_t my_lba = 0;
  std::uint64_t alternate_lba = 0;
  std::uint64_t first_usable_lba = 0;
  std::uint64_t last_usable_lba = 0;
  Guid disk_guid;
  std::uint64_t partition_entry_lba = 0;
  std::uint32_t number_of_partition_entries = 0;
  std::uint32_t size_of_partition_entry = 0;
  std::uint32_t partition_entry_array_crc32 = 0;
  // The used entries: those before the first one whose unique GUID is zero.
  std::vector<GptEntryRecord> entries;
  friend bool operator==(const GptRecord&, const GptRecord&) = default;
};

}  // namespace vhdx_inspect
