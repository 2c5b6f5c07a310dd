#include "views/text/diagnostic_lines.h"

#include <cstdint>

#include "views/text/failure_line_place.h"
#include "views/text/number_format.h"

namespace vhdx_inspect::views::text {
namespace {

using vhdx_inspect::Check;
using vhdx_inspect::Failure;

void WriteStatusLine(std::ostream& out, const char* call, const Failure& failure, const std::string& path) {
  out << call << " failed with status " << InCurrentBase(failure.system_status.value_or(0))
      << " for file: " << path.c_str();
}

// "<name> is: <found> <middle><expected>", the shape of most value lines.
void WriteValueLine(std::ostream& out, const char* name, const Failure& failure, const char* middle) {
  out << name << " is: " << InCurrentBase(failure.found.value_or(0)) << ' ' << middle
      << InCurrentBase(failure.expected.value_or(0));
}

void WriteItemOffsetLine(std::ostream& out, const char* item, const Failure& failure) {
  out << "table_" << item << "->Offset is: " << InCurrentBase(failure.found.value_or(0)) << " Offset should be at most "
      << InCurrentBase(failure.expected.value_or(0));
}

void WriteSizeRangeLine(std::ostream& out, const char* field, const Failure& failure) {
  out << "PLUGIN_VHDX_METADATA->" << field << " is: " << InCurrentBase(failure.found.value_or(0)) << ' ' << field
      << " should be between " << InCurrentBase(failure.expected.value_or(0)) << " and "
      << InCurrentBase(failure.expected_max.value_or(0));
}

// Memory refused for the partition tables, after the size lines, names the
// bytes it asked for; anywhere else the line stands before the report.
void WriteOutOfMemoryLine(std::ostream& out, const Failure& failure, FailureLinePlace place) {
  if (place == FailureLinePlace::kAfterSizeLines) {
    out << "Cannot allocate " << InCurrentBase(failure.found.value_or(0)) << " bytes for the partition tables.";
  } else {
    out << "Cannot allocate memory for the inspection.";
  }
}

// The lines with no value, or nothing for a check that has none of its own.
const char* FixedLine(Check check) {
  switch (check) {
    case Check::kFileIdentifierSignature:
      return "Not a VHDX signature.";
    case Check::kFileIdentifierCreator:
      return "VHDX not created by Tallowbridge.";
    case Check::kHeaderSignature:
      return "Not a valid header.";
    case Check::kHeaderCrc:
      return "Not a valid header CRC.";
    case Check::kRegionTableCrc:
      return "Not a valid region CRC.";
    case Check::kRegionTableSignature:
      return "Not a valid region.";
    case Check::kBatRegionGuid:
      return "Bad BAT GUID.";
    case Check::kMetadataRegionGuid:
      return "Bad Metadata GUID.";
    case Check::kMetadataTableSignature:
      return "Not a valid metadata table header.";
    case Check::kPluginMetadataMissing:
      return "Not a Tolvenar VHDX - the plugin metadata is missing.";
    case Check::kPluginMbrGptSizeZero:
      return "table_PLUGIN_VHDX_METADATA->nMbrGptSize is: 0";
    case Check::kPluginTrailerOffsetZero:
      return "table_PLUGIN_VHDX_METADATA->nGptTrailerDiskOffset is: 0";
    case Check::kVolumeImageFileList:
      return "pTwbMetaData->ImageFileList is not terminated inside the metadata region.";
    default:
      return nullptr;
  }
}

}  // namespace

void WriteFailureLine(std::ostream& out, const vhdx_inspect::Inspection& inspection) {
  const Failure& failure = *inspection.failure;
  const std::string& path = inspection.path;
  const FailureLinePlace place = PlaceOfFailureLine(inspection);
  if (const char* fixed = FixedLine(failure.check)) {
    out << fixed;
    return;
  }
  switch (failure.check) {
    case Check::kImageOpen:
      WriteStatusLine(out, "CreateFile", failure, path);
      break;
    case Check::kHeaderSectionRead:
    case Check::kPartitionAreaRead:
    case Check::kGptTrailerRead:
      WriteStatusLine(out, "ReadFile", failure, path);
      break;
    case Check::kMetadataRegionSeek:
    case Check::kPartitionAreaSeek:
    case Check::kGptTrailerSeek:
      WriteStatusLine(out, "SetFilePointerEx", failure, path);
      break;
    case Check::kHeaderSectionShort:
      out << "Attemped to read " << InCurrentBase(static_cast<std::int32_t>(failure.expected.value_or(0)))
          << " bytes, but " << InCurrentBase(failure.found.value_or(0)) << " were read.";
      break;
    case Check::kRegionTableEntryCount:
    case Check::kMetadataTableEntryCount:
      // The count it should be is part of the text, not a number in the current base.
      out << "Entry count is: " << InCurrentBase(failure.found.value_or(0))
          << (failure.check == Check::kRegionTableEntryCount ? " Entry count should be 2."
                                                             : " Entry count should be 6.");
      break;
    case Check::kFileParametersOffset:
      WriteItemOffsetLine(out, "FILE_PARAMETERS", failure);
      break;
    case Check::kVirtualDiskSizeOffset:
      WriteItemOffsetLine(out, "VIRTUAL_DISK_SIZE", failure);
      break;
    case Check::kLogicalSectorSizeOffset:
      WriteItemOffsetLine(out, "LOGICAL_SECTOR_SIZE", failure);
      break;
    case Check::kPhysicalSectorSizeOffset:
      WriteItemOffsetLine(out, "PHYSICAL_SECTOR_SIZE", failure);
      break;
    case Check::kPluginMetadataOffset:
      WriteItemOffsetLine(out, "PLUGIN_VHDX_METADATA", failure);
      break;
    case Check::kBlockSize:
      WriteValueLine(out, "BlockSize", failure, "BlockSize should be ");
      break;
    case Check::kPluginLength:
      WriteValueLine(out, "table_PLUGIN_VHDX_METADATA->Length", failure, "PLUGIN_VHDX_METADATA->cbTotalMetaData ");
      break;
    case Check::kPluginTotalSize:
      WriteValueLine(out, "table_PLUGIN_VHDX_METADATA->Length", failure, "TotalPluginMetadataSize ");
      break;
    case Check::kVolumeOffset:
      WriteValueLine(out, "entry_PLUGIN_VHDX_METADATA->MetaData[ i ].cbMetaDataOffset", failure,
                     "Offset should be at most ");
      break;
    case Check::kVolumeSize:
      WriteValueLine(out, "pTwbMetaData->MySize", failure, "entry_PLUGIN_VHDX_METADATA->MetaData[ i ].cbSize is ");
      break;
    case Check::kPartitionAreaSize:
      WriteSizeRangeLine(out, "nMbrGptSize", failure);
      break;
    case Check::kGptTrailerLength:
      WriteSizeRangeLine(out, "nGptTrailerLength", failure);
      break;
    case Check::kOutOfMemory:
      WriteOutOfMemoryLine(out, failure, place);
      break;
    case Check::kPartitionTablesFit:
      out << "The partition tables at offset " << InCurrentBase(failure.found.value_or(0)) << " do not fit in the "
          << InCurrentBase(failure.expected.value_or(0)) << " bytes read.";
      break;
    default:
      break;  // a failed read of the metadata region has no line of its own
  }
}

void WriteVirtualSizeWarning(std::ostream& out, const vhdx_inspect::MetadataRecord& metadata,
                             const vhdx_inspect::PluginHeaderRecord& plugin) {
  out << "VIRTUAL_DISK_SIZE->VirtualDiskSize is: " << HexKeepingPrefixFlag(metadata.virtual_disk_size)
      << " PLUGIN_VHDX_METADATA->nVirtualDiskSize " << HexKeepingPrefixFlag(plugin.virtual_disk_size);
}

std::string_view FindingText(Check check) {
  switch (check) {
    case Check::kGptSignature:
      return "Signature is invalid.";
    case Check::kGptRevision:
      return "Revision is invalid.";
    case Check::kGptHeaderSize:
      return "HeaderSize is invalid.";
    case Check::kGptNumberOfPartitionEntries:
      return "NumberOfPartitionEntries is invalid.";
    case Check::kGptSizeOfPartitionEntry:
      return "SizeOfPartitionEntry is invalid.";
    case Check::kGptHeaderCrc:
      return "HeaderCRC32 is invalid.";
    case Check::kGptEntryArrayCrc:
      return "PartitionEntryArrayCRC32 is invalid.";
    case Check::kGptMyLba:
      return "pEfiHeader->MyLBA is invalid.";
    case Check::kGptAlternateLba:
      return "pEfiHeader->AlternateLBA is invalid.";
    case Check::kGptFirstUsableLba:
      return "pEfiHeader->FirstUsableLBA is invalid.";
    case Check::kGptLastUsableLba:
      return "pEfiHeader->LastUsableLBA is invalid.";
    case Check::kGptEntryArrayCrcAgreement:
      return "pEfiHeader->PartitionEntryArrayCRC32 is invalid.";
    default:
      return {};
  }
}

std::ios_base::fmtflags FlagsBeforeFailure(const vhdx_inspect::Inspection& inspection) {
  const std::ios_base::fmtflags decimal = std::ios_base::dec | std::ios_base::skipws;
  const std::ios_base::fmtflags hex = std::ios_base::hex | std::ios_base::skipws;
  if (!inspection.failure) return decimal;
  // The three size lines before the partition tables leave hexadecimal, with
  // the prefix that the container report turned on.
  if (FollowsTheSizeLines(PlaceOfFailureLine(inspection))) return hex | std::ios_base::showbase;
  // The virtual-size warning, the only line before a metadata failure, leaves
  // hexadecimal without the prefix.
  for (const vhdx_inspect::Warning& warning : inspection.warnings) {
    if (warning.check == Check::kVirtualDiskSizeMismatch) return hex;
  }
  return decimal;
}

}  // namespace vhdx_inspect::views::text
