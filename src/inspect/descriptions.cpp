#include "inspect/descriptions.h"

#include <array>
#include <charconv>
#include <cstdint>
#include <optional>
#include <string_view>

#include "platform/file.h"

namespace vhdx_inspect::detail::inspect {
namespace {

using vhdx_inspect::Check;
using vhdx_inspect::Failure;
using vhdx_inspect::Finding;
using vhdx_inspect::GptSide;
using vhdx_inspect::Inspection;
using vhdx_inspect::Warning;

template <typename Integer>
std::string Number(Integer value) {
  return std::to_string(value);
}

std::string Hex(std::uint64_t value) {
  std::array<char, 16> digits{};
  const auto [end, error] = std::to_chars(digits.data(), digits.data() + digits.size(), value, 16);
  return "0x" + std::string(digits.data(), end);
}

std::string Number(const std::optional<std::int64_t>& value) { return Number(value.value_or(0)); }

// " (system status N)", after the system's text where it has one.
std::string StatusText(const Failure& failure) {
  const platform::ErrorCode status = failure.system_status.value_or(0);
  const std::string text = platform::SystemErrorText(status);
  return (text.empty() ? std::string() : ": " + text) + " (system status " + Number(status) + ")";
}

// "<what> cannot be <done>: <system text> (system status N)."
std::string Refused(std::string_view what, const Failure& failure) {
  return std::string(what) + StatusText(failure) + ".";
}

std::string ItemRoom(std::string_view item, const Failure& failure) {
  return "The " + std::string(item) + " item's offset " + Number(failure.found) +
         " leaves no room for it in the metadata region (it should be at most " + Number(failure.expected) + ").";
}

std::string OutsideRange(std::string_view what, const Failure& failure) {
  return std::string(what) + " is " + Number(failure.found) + " bytes, outside the " + Number(failure.expected) +
         " to " + Number(failure.expected_max) + " bytes the partition tables can lie in.";
}

std::string OutOfMemory(const Failure& failure) {
  const std::string asked = failure.found ? Number(failure.found) + " bytes of memory" : std::string("memory");
  return "The system refused " + asked + " for the inspection" + StatusText(failure) + ".";
}

const char* SideName(const std::optional<GptSide>& side) { return side == GptSide::kBackup ? "backup" : "primary"; }

const vhdx_inspect::GptRecord* GptOf(const Inspection& inspection, const std::optional<GptSide>& side) {
  const auto& gpt = side == GptSide::kBackup ? inspection.backup_gpt : inspection.primary_gpt;
  return gpt ? &*gpt : nullptr;
}

// "The primary GPT header's <field> is <value>; it should be <expected>."
std::string HeaderField(const Finding& finding, std::string_view field, std::optional<std::uint64_t> value,
                        std::string_view expected) {
  std::string sentence = "The " + std::string(SideName(finding.side)) + " GPT header's " + std::string(field);
  if (value) sentence += " is " + Number(*value) + ";";
  return sentence + " it should be " + std::string(expected) + ".";
}

std::string StoredAgainstComputed(const Finding& finding, std::string_view what) {
  return "The " + std::string(SideName(finding.side)) + " GPT header's " + std::string(what) + " is stored as " +
         Hex(finding.value.value_or(0)) + " but computes to " + Hex(finding.compared.value_or(0)) + ".";
}

std::string PrimaryAgainstBackup(const Finding& finding, std::string_view primaryField, std::string_view backupField) {
  return "The primary GPT header's " + std::string(primaryField) + " (" + Number(finding.value.value_or(0)) +
         ") differs from the backup header's " + std::string(backupField) + " (" +
         Number(finding.compared.value_or(0)) + ").";
}

}  // namespace

std::string DescribeFailure(const Failure& failure) {
  switch (failure.check) {
    case Check::kImageOpen:
      return Refused("The image cannot be opened", failure);
    case Check::kHeaderSectionRead:
      return Refused("The header section (the first MiB of the file) cannot be read", failure);
    case Check::kHeaderSectionShort:
      return "The file ends after " + Number(failure.found) + " bytes, inside the " + Number(failure.expected) +
             "-byte header section: it is too short to be a VHDX image.";
    case Check::kFileIdentifierSignature:
      return "The file does not begin with a VHDX file identifier: it is not a VHDX image.";
    case Check::kFileIdentifierCreator:
      return "The file identifier names another creator: this VHDX image was not written as a plugin VHDX.";
    case Check::kHeaderSignature:
      return "The current VHDX header does not carry the header signature \"head\".";
    case Check::kHeaderCrc:
      return "The current VHDX header's CRC-32C checksum does not match its contents.";
    case Check::kRegionTableCrc:
      return "Neither copy of the region table has a CRC-32C checksum that matches its contents.";
    case Check::kRegionTableSignature:
      return "The region table does not carry the signature \"regi\".";
    case Check::kRegionTableEntryCount:
      return "The region table lists " + Number(failure.found) + " regions; a plugin VHDX lists exactly " +
             Number(failure.expected) + " (the BAT and the metadata region).";
    case Check::kBatRegionGuid:
      return "The region table's first entry is not the BAT region.";
    case Check::kMetadataRegionGuid:
      return "The region table's second entry is not the metadata region.";
    case Check::kMetadataRegionSeek:
      return Refused("The metadata region's offset cannot be reached in the file", failure);
    case Check::kMetadataRegionRead:
      return Refused("The metadata region cannot be read", failure);
    case Check::kMetadataTableSignature:
      return "The metadata table does not carry the signature \"metadata\".";
    case Check::kMetadataTableEntryCount:
      return "The metadata table lists " + Number(failure.found) + " items; a plugin VHDX lists exactly " +
             Number(failure.expected) + ".";
    case Check::kPluginMetadataMissing:
      return "The metadata table has no plugin item: this VHDX image is not a plugin VHDX.";
    case Check::kFileParametersOffset:
      return ItemRoom("file parameters", failure);
    case Check::kVirtualDiskSizeOffset:
      return ItemRoom("virtual disk size", failure);
    case Check::kLogicalSectorSizeOffset:
      return ItemRoom("logical sector size", failure);
    case Check::kPhysicalSectorSizeOffset:
      return ItemRoom("physical sector size", failure);
    case Check::kPluginMetadataOffset:
      return ItemRoom("plugin", failure);
    case Check::kBlockSize:
      return "The block size is " + Number(failure.found) + " bytes; a plugin VHDX uses blocks of " +
             Number(failure.expected) + " bytes.";
    case Check::kPluginLength:
      return "The plugin item is " + Number(failure.found) +
             " bytes long in the metadata table, but its own header gives " + Number(failure.expected) + " bytes.";
    case Check::kPluginMbrGptSizeZero:
      return "The plugin item gives no size for the partition-table area (it is 0).";
    case Check::kPluginTrailerOffsetZero:
      return "The plugin item gives a length for the GPT trailer but no offset (it is 0).";
    case Check::kVolumeOffset:
      return "A volume record's offset " + Number(failure.found) +
             " leaves no room for it in the metadata region (it should be at most " + Number(failure.expected) + ").";
    case Check::kVolumeSize:
      return "A volume record gives its size as " + Number(failure.found) +
             " bytes, but its entry in the plugin item gives " + Number(failure.expected) + " bytes.";
    case Check::kVolumeImageFileList:
      return "A volume's image file list has no terminating zero inside the metadata region.";
    case Check::kPluginTotalSize:
      return "The plugin item is " + Number(failure.found) +
             " bytes long, but its header and volume records add up to " + Number(failure.expected) + " bytes.";
    case Check::kPartitionAreaSize:
      return OutsideRange("The partition-table area", failure);
    case Check::kGptTrailerLength:
      return OutsideRange("The GPT trailer", failure);
    case Check::kPartitionTablesFit:
      return "The partition tables at offset " + Number(failure.found) + " do not fit in the " +
             Number(failure.expected) + " bytes read.";
    case Check::kPartitionAreaSeek:
      return Refused("The partition-table area's offset cannot be reached in the file", failure);
    case Check::kPartitionAreaRead:
      return Refused("The partition-table area cannot be read", failure);
    case Check::kGptTrailerSeek:
      return Refused("The GPT trailer's offset cannot be reached in the file", failure);
    case Check::kGptTrailerRead:
      return Refused("The GPT trailer cannot be read", failure);
    case Check::kOutOfMemory:
      return OutOfMemory(failure);
    default:
      return "The check " + std::string(vhdx_inspect::CheckName(failure.check)) + " failed.";
  }
}

std::string DescribeFinding(const Finding& finding, const Inspection& inspection) {
  const vhdx_inspect::GptRecord* gpt = GptOf(inspection, finding.side);
  const auto field = [&](auto member) -> std::optional<std::uint64_t> {
    if (gpt == nullptr) return std::nullopt;
    return (*gpt).*member;
  };
  switch (finding.check) {
    case Check::kGptSignature:
      return "The " + std::string(SideName(finding.side)) + " GPT header does not carry the signature \"EFI PART\".";
    case Check::kGptRevision:
      return HeaderField(finding, "revision", field(&vhdx_inspect::GptRecord::revision), "65536 (version 1.0)");
    case Check::kGptHeaderSize:
      return HeaderField(finding, "header size", field(&vhdx_inspect::GptRecord::header_size), "92 bytes");
    case Check::kGptNumberOfPartitionEntries:
      return HeaderField(finding, "number of partition entries",
                         field(&vhdx_inspect::GptRecord::number_of_partition_entries), "128");
    case Check::kGptSizeOfPartitionEntry:
      return HeaderField(finding, "partition entry size", field(&vhdx_inspect::GptRecord::size_of_partition_entry),
                         "128 bytes");
    case Check::kGptHeaderCrc:
      return StoredAgainstComputed(finding, "CRC-32 of itself");
    case Check::kGptEntryArrayCrc:
      return StoredAgainstComputed(finding, "CRC-32 of its partition entries");
    case Check::kGptMyLba:
      return PrimaryAgainstBackup(finding, "own LBA", "alternate LBA");
    case Check::kGptAlternateLba:
      return PrimaryAgainstBackup(finding, "alternate LBA", "own LBA");
    case Check::kGptFirstUsableLba:
      return PrimaryAgainstBackup(finding, "first usable LBA", "first usable LBA");
    case Check::kGptLastUsableLba:
      return PrimaryAgainstBackup(finding, "last usable LBA", "last usable LBA");
    case Check::kGptEntryArrayCrcAgreement:
      return "The primary GPT header's CRC-32 of its partition entries (" + Hex(finding.value.value_or(0)) +
             ") differs from the backup header's (" + Hex(finding.compared.value_or(0)) + ").";
    default:
      return "The check " + std::string(vhdx_inspect::CheckName(finding.check)) + " found a difference.";
  }
}

std::string DescribeWarning(const Warning& warning, const Inspection& inspection) {
  switch (warning.check) {
    case Check::kVirtualDiskSizeMismatch:
      return "The virtual disk is " + Number(inspection.metadata ? inspection.metadata->virtual_disk_size : 0) +
             " bytes by the VHDX metadata but " + Number(inspection.plugin ? inspection.plugin->virtual_disk_size : 0) +
             " bytes by the plugin item.";
    case Check::kLogNotReplayed:
      return "LogGuid is not zero: the image holds a log that was never replayed, so it was not closed cleanly.";
    case Check::kPartitionName:
      return "Partition entry " + Number(warning.entry.value_or(0)) + " of the " + SideName(warning.side) +
             " GPT has a known type but a name that does not begin with the name that type carries.";
    default:
      return "The check " + std::string(vhdx_inspect::CheckName(warning.check)) + " warns.";
  }
}

}  // namespace vhdx_inspect::detail::inspect
