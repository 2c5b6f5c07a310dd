// Every check an inspection makes, by a number and a name that never change
// meaning.
//
// A failure, a GPT verification finding and a warning each name the check
// they come from. The numbers are fixed: a check that goes away leaves its
// number unused, and a new check takes a new number. The names are stable,
// lower-case and dotted, "<structure>.<what was checked>".
#pragma once

#include <cstdint>

namespace vhdx_inspect {

enum class Check : std::uint16_t {
  // The image could not be opened (the system's status is kept).
  kImageOpen = 1,  // "image.open"

  // The header section: one 1 MiB read at offset 0.
  kHeaderSectionRead = 2,        // "header_section.read": the read failed (status kept)
  kHeaderSectionShort = 3,       // "header_section.short": the file ends inside it
  kFileIdentifierSignature = 4,  // "file_identifier.signature"
  kFileIdentifierCreator = 5,    // "file_identifier.creator"
  kHeaderSignature = 6,          // "header.signature"
  kHeaderCrc = 7,                // "header.crc"
  kRegionTableCrc = 8,           // "region_table.crc": neither copy's CRC-32C matches
  kRegionTableSignature = 9,     // "region_table.signature"
  kRegionTableEntryCount = 10,   // "region_table.entry_count"
  kBatRegionGuid = 11,           // "region_table.bat_guid"
  kMetadataRegionGuid = 12,      // "region_table.metadata_guid"

  // The metadata region: one 2 MiB read at the region's offset.
  kMetadataRegionSeek = 13,        // "metadata_region.seek" (status kept)
  kMetadataRegionRead = 14,        // "metadata_region.read" (status kept; the text report has no line)
  kMetadataTableSignature = 15,    // "metadata_table.signature"
  kMetadataTableEntryCount = 16,   // "metadata_table.entry_count"
  kPluginMetadataMissing = 17,     // "metadata_table.plugin_missing"
  kFileParametersOffset = 18,      // "metadata_table.file_parameters_offset"
  kVirtualDiskSizeOffset = 19,     // "metadata_table.virtual_disk_size_offset"
  kLogicalSectorSizeOffset = 20,   // "metadata_table.logical_sector_size_offset"
  kPhysicalSectorSizeOffset = 21,  // "metadata_table.physical_sector_size_offset"
  kPluginMetadataOffset = 22,      // "metadata_table.plugin_offset"
  kBlockSize = 23,                 // "file_parameters.block_size"
  kPluginLength = 24,              // "plugin.length": item length against cbTotalMetaData
  kPluginMbrGptSizeZero = 25,      // "plugin.mbr_gpt_size_zero"
  kPluginTrailerOffsetZero = 26,   // "plugin.trailer_offset_zero"
  kVolumeOffset = 27,              // "volume.offset"
  kVolumeSize = 28,                // "volume.size": MySize against the entry's cbSize
  kVolumeImageFileList = 29,       // "volume.image_file_list": not terminated
  kPluginTotalSize = 30,           // "plugin.total_size": item length against the volumes' sum

  // The partition-table area and the GPT trailer in the data area.
  kPartitionAreaSize = 31,  // "partition_area.size": found, expected..expected_max
  kGptTrailerLength = 32,   // "gpt_trailer.length": found, expected..expected_max
  // 33 was "partition_tables.allocation": memory refused for the tables is
  // inspection.out_of_memory, as anywhere else.
  kPartitionTablesFit = 34,  // "partition_tables.fit"
  kPartitionAreaSeek = 35,   // "partition_area.seek" (status kept)
  kPartitionAreaRead = 36,   // "partition_area.read" (status kept)
  kGptTrailerSeek = 37,      // "gpt_trailer.seek" (status kept)
  kGptTrailerRead = 38,      // "gpt_trailer.read" (status kept)

  // The system refused memory that the inspection needed, at whatever stage
  // (status kept; found: the bytes asked for, where known).
  kOutOfMemory = 39,  // "inspection.out_of_memory"

  // GPT verification findings: a header's own fields, then the primary
  // header against the backup.
  kGptSignature = 50,                 // "gpt.signature"
  kGptRevision = 51,                  // "gpt.revision"
  kGptHeaderSize = 52,                // "gpt.header_size"
  kGptNumberOfPartitionEntries = 53,  // "gpt.number_of_partition_entries"
  kGptSizeOfPartitionEntry = 54,      // "gpt.size_of_partition_entry"
  kGptHeaderCrc = 55,                 // "gpt.header_crc"
  kGptEntryArrayCrc = 56,             // "gpt.entry_array_crc"
  kGptMyLba = 57,                     // "gpt.my_lba"
  kGptAlternateLba = 58,              // "gpt.alternate_lba"
  kGptFirstUsableLba = 59,            // "gpt.first_usable_lba"
  kGptLastUsableLba = 60,             // "gpt.last_usable_lba"
  kGptEntryArrayCrcAgreement = 61,    // "gpt.entry_array_crc_agreement"

  // Warnings: the inspection goes on.
  kVirtualDiskSizeMismatch = 80,  // "metadata.virtual_disk_size"
  kLogNotReplayed = 81,           // "header.log_guid": a non-zero LogGuid
  kPartitionName = 82,            // "gpt.partition_name": a known type with another name

  // The container's own structure, checked by the opt-in structure pass
  // (structure.h), in the order the pass makes them.
  kFileTruncated = 120,      // "file.truncated": the file ends before a region, the log or a present block
  kHeaderCopyDamaged = 121,  // "header.copy_damaged": warning: the other header copy is not valid
  kHeaderNoValidCopy = 122,  // "header.no_valid_copy": neither header copy is valid
  kHeaderVersion = 123,      // "header.version": the current header's Version is not 1
  kHeaderLogVersion = 124,   // "header.log_version": LogVersion is not 0 where a log is to be replayed
  kHeaderLogPlace = 125,     // "header.log_place": the log's offset or length is not a multiple of 1 MiB, or it lies in
                             // the header section
  kHeaderSameSequence = 126,          // "header.same_sequence": warning: two valid copies with one sequence number
  kRegionTableCopyDamaged = 127,      // "region_table.copy_damaged": copy 1: failure; copy 2: warning
  kRegionTableCopiesDiffer = 128,     // "region_table.copies_differ": warning: copy 2 is not copy 1
  kRegionTableEntryLimit = 129,       // "region_table.entry_limit": more than 2047 entries
  kRegionTableDuplicateRegion = 130,  // "region_table.duplicate_region": one GUID in two entries
  kRegionTableRegionPlace = 131,      // "region_table.region_place": not 1 MiB multiples, or inside the first 1 MiB
  kRegionTableUnknownRequired =
      132,  // "region_table.unknown_required": a region this format does not know, marked Required
  kRegionTableMissingRegion = 133,  // "region_table.missing_region": no BAT or no metadata region
  kFileOverlap = 134,               // "file.overlap": the log and the regions overlap each other
  kMetadataTable = 135,             // "metadata.table": the metadata table's signature or entry count
  kMetadataDuplicateItem = 136,     // "metadata.duplicate_item": one item listed twice
  kMetadataMissingItem = 137,       // "metadata.missing_item": a standard item is missing
  kMetadataUnknownRequiredItem =
      138,                    // "metadata.unknown_required_item": an item this format does not know, marked required
  kMetadataItemPlace = 139,   // "metadata.item_place": an item before 64 KiB, outside the region or on another item
  kMetadataBlockSize = 140,   // "metadata.block_size": not a power of two from 1 MiB to 256 MiB
  kMetadataSectorSize = 141,  // "metadata.sector_size": a sector size other than 512 or 4096
  kMetadataDiskSize = 142,    // "metadata.disk_size": not a multiple of the logical sector size, or above 64 TiB
  kMetadataFlags = 143,       // "metadata.flags": reserved bits of the file parameters set
  kBatRegionSize = 144,       // "bat.region_size": the BAT region is too small for the entries the virtual size needs
  kBatState = 145,            // "bat.state": an entry in a state its kind may not take
  kBatReservedBits = 146,     // "bat.reserved_bits": an entry's reserved bits are not zero
  kBatBlockOverlap =
      147,         // "bat.block_overlap": a present block on the header section, the log, a region or another block
  kBatRead = 148,  // "bat.read": the BAT could not be read (status kept)
  kLogReplayPending = 149,    // "log.replay_pending": warning: the log holds a valid sequence a replay would apply
  kLogNoValidSequence = 150,  // "log.no_valid_sequence": LogGuid is set but the log holds no valid sequence
  kLogFlushedOffset = 151,    // "log.flushed_offset": the file ends before the head entry's FlushedFileOffset
  kLogRead = 152,             // "log.read": the log could not be read (status kept)

  // 100 to 103 are reserved: they once named folder-scan outcomes, which are
  // the programs' own and never part of an inspection.
};

// The check's stable name, such as "header.crc"; "unknown" for a number
// that names no check.
const char* CheckName(Check check);

// True for the checks of the structure pass (structure.h), numbers 120 to
// 199; the text program has no line for them.
constexpr bool IsStructureCheck(Check check) {
  const auto number = static_cast<std::uint16_t>(check);
  return number >= 120 && number < 200;
}

}  // namespace vhdx_inspect
