// The stable names of checks and verdicts.
#include <array>
#include <cstdio>

#include "vhdx_inspect/check.h"
#include "vhdx_inspect/records.h"
#include "vhdx_inspect/structure.h"
#include "vhdx_inspect/verdict.h"

namespace vhdx_inspect {

const char* CheckName(Check check) {
  switch (check) {
    case Check::kImageOpen:
      return "image.open";
    case Check::kHeaderSectionRead:
      return "header_section.read";
    case Check::kHeaderSectionShort:
      return "header_section.short";
    case Check::kFileIdentifierSignature:
      return "file_identifier.signature";
    case Check::kFileIdentifierCreator:
      return "file_identifier.creator";
    case Check::kHeaderSignature:
      return "header.signature";
    case Check::kHeaderCrc:
      return "header.crc";
    case Check::kRegionTableCrc:
      return "region_table.crc";
    case Check::kRegionTableSignature:
      return "region_table.signature";
    case Check::kRegionTableEntryCount:
      return "region_table.entry_count";
    case Check::kBatRegionGuid:
      return "region_table.bat_guid";
    case Check::kMetadataRegionGuid:
      return "region_table.metadata_guid";
    case Check::kMetadataRegionSeek:
      return "metadata_region.seek";
    case Check::kMetadataRegionRead:
      return "metadata_region.read";
    case Check::kMetadataTableSignature:
      return "metadata_table.signature";
    case Check::kMetadataTableEntryCount:
      return "metadata_table.entry_count";
    case Check::kPluginMetadataMissing:
      return "metadata_table.plugin_missing";
    case Check::kFileParametersOffset:
      return "metadata_table.file_parameters_offset";
    case Check::kVirtualDiskSizeOffset:
      return "metadata_table.virtual_disk_size_offset";
    case Check::kLogicalSectorSizeOffset:
      return "metadata_table.logical_sector_size_offset";
    case Check::kPhysicalSectorSizeOffset:
      return "metadata_table.physical_sector_size_offset";
    case Check::kPluginMetadataOffset:
      return "metadata_table.plugin_offset";
    case Check::kBlockSize:
      return "file_parameters.block_size";
    case Check::kPluginLength:
      return "plugin.length";
    case Check::kPluginMbrGptSizeZero:
      return "plugin.mbr_gpt_size_zero";
    case Check::kPluginTrailerOffsetZero:
      return "plugin.trailer_offset_zero";
    case Check::kVolumeOffset:
      return "volume.offset";
    case Check::kVolumeSize:
      return "volume.size";
    case Check::kVolumeImageFileList:
      return "volume.image_file_list";
    case Check::kPluginTotalSize:
      return "plugin.total_size";
    case Check::kPartitionAreaSize:
      return "partition_area.size";
    case Check::kGptTrailerLength:
      return "gpt_trailer.length";
    case Check::kPartitionTablesFit:
      return "partition_tables.fit";
    case Check::kPartitionAreaSeek:
      return "partition_area.seek";
    case Check::kPartitionAreaRead:
      return "partition_area.read";
    case Check::kGptTrailerSeek:
      return "gpt_trailer.seek";
    case Check::kGptTrailerRead:
      return "gpt_trailer.read";
    case Check::kOutOfMemory:
      return "inspection.out_of_memory";
    case Check::kGptSignature:
      return "gpt.signature";
    case Check::kGptRevision:
      return "gpt.revision";
    case Check::kGptHeaderSize:
      return "gpt.header_size";
    case Check::kGptNumberOfPartitionEntries:
      return "gpt.number_of_partition_entries";
    case Check::kGptSizeOfPartitionEntry:
      return "gpt.size_of_partition_entry";
    case Check::kGptHeaderCrc:
      return "gpt.header_crc";
    case Check::kGptEntryArrayCrc:
      return "gpt.entry_array_crc";
    case Check::kGptMyLba:
      return "gpt.my_lba";
    case Check::kGptAlternateLba:
      return "gpt.alternate_lba";
    case Check::kGptFirstUsableLba:
      return "gpt.first_usable_lba";
    case Check::kGptLastUsableLba:
      return "gpt.last_usable_lba";
    case Check::kGptEntryArrayCrcAgreement:
      return "gpt.entry_array_crc_agreement";
    case Check::kVirtualDiskSizeMismatch:
      return "metadata.virtual_disk_size";
    case Check::kLogNotReplayed:
      return "header.log_guid";
    case Check::kPartitionName:
      return "gpt.partition_name";
    case Check::kFileTruncated:
      return "file.truncated";
    case Check::kHeaderCopyDamaged:
      return "header.copy_damaged";
    case Check::kHeaderNoValidCopy:
      return "header.no_valid_copy";
    case Check::kHeaderVersion:
      return "header.version";
    case Check::kHeaderLogVersion:
      return "header.log_version";
    case Check::kHeaderLogPlace:
      return "header.log_place";
    case Check::kHeaderSameSequence:
      return "header.same_sequence";
    case Check::kRegionTableCopyDamaged:
      return "region_table.copy_damaged";
    case Check::kRegionTableCopiesDiffer:
      return "region_table.copies_differ";
    case Check::kRegionTableEntryLimit:
      return "region_table.entry_limit";
    case Check::kRegionTableDuplicateRegion:
      return "region_table.duplicate_region";
    case Check::kRegionTableRegionPlace:
      return "region_table.region_place";
    case Check::kRegionTableUnknownRequired:
      return "region_table.unknown_required";
    case Check::kRegionTableMissingRegion:
      return "region_table.missing_region";
    case Check::kFileOverlap:
      return "file.overlap";
    case Check::kMetadataTable:
      return "metadata.table";
    case Check::kMetadataDuplicateItem:
      return "metadata.duplicate_item";
    case Check::kMetadataMissingItem:
      return "metadata.missing_item";
    case Check::kMetadataUnknownRequiredItem:
      return "metadata.unknown_required_item";
    case Check::kMetadataItemPlace:
      return "metadata.item_place";
    case Check::kMetadataBlockSize:
      return "metadata.block_size";
    case Check::kMetadataSectorSize:
      return "metadata.sector_size";
    case Check::kMetadataDiskSize:
      return "metadata.disk_size";
    case Check::kMetadataFlags:
      return "metadata.flags";
    case Check::kBatRegionSize:
      return "bat.region_size";
    case Check::kBatState:
      return "bat.state";
    case Check::kBatReservedBits:
      return "bat.reserved_bits";
    case Check::kBatBlockOverlap:
      return "bat.block_overlap";
    case Check::kBatRead:
      return "bat.read";
    case Check::kLogReplayPending:
      return "log.replay_pending";
    case Check::kLogNoValidSequence:
      return "log.no_valid_sequence";
    case Check::kLogFlushedOffset:
      return "log.flushed_offset";
    case Check::kLogRead:
      return "log.read";
  }
  return "unknown";
}

const char* SeverityName(Severity severity) { return severity == Severity::kFailure ? "failure" : "warning"; }

const char* VerdictName(Verdict verdict) {
  switch (verdict) {
    case Verdict::kSound:
      return "sound";
    case Verdict::kGptMismatch:
      return "gpt_mismatch";
    case Verdict::kCorrupt:
      return "corrupt";
    case Verdict::kUnreadable:
      return "unreadable";
    case Verdict::kNotPlugin:
      return "not_plugin";
    case Verdict::kNotInspected:
      return "not_inspected";
  }
  return "unknown";
}

std::string FormatGuid(const Guid& guid) {
  const auto& b = guid.bytes;
  std::array<char, 37> text{};
  std::snprintf(text.data(), text.size(), "%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x", b[3],
                b[2], b[1], b[0], b[5], b[4], b[7], b[6], b[8], b[9], b[10], b[11], b[12], b[13], b[14], b[15]);
  return std::string(text.data(), 36);
}

}  // namespace vhdx_inspect
