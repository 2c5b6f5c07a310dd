#include "partition/gpt_decode.h"

#include "encoding/utf16.h"
#include "partition/partition_types.h"

namespace partition {
namespace {

using encoding::LoadRecord;

constexpr Guid kUnusedEntry{};

vhdx_inspect::Guid PublicGuid(const Guid& guid) { return vhdx_inspect::Guid{guid.bytes}; }

// A name fits its type when it begins with the expected name.
bool NameFitsType(const std::string& name, std::string_view expectedName) {
  return name.size() >= expectedName.size() && name.compare(0, expectedName.size(), expectedName) == 0;
}

}  // namespace

std::string SingleByteName(std::span<const std::uint16_t> units) {
  std::string name;
  name.reserve(units.size());
  for (const std::uint16_t unit : units) name.push_back(unit <= 0xFF ? static_cast<char>(unit) : '?');
  return name;
}

vhdx_inspect::GptEntryRecord DecodeGptEntry(const GPT_PARTITION_ENTRY& entry) {
  const PartitionType& type = ClassifyPartitionType(entry.PartitionTypeGUID);
  vhdx_inspect::GptEntryRecord decoded;
  decoded.type_guid = PublicGuid(entry.PartitionTypeGUID);
  decoded.unique_guid = PublicGuid(entry.UniquePartitionGUID);
  decoded.first_lba = entry.FirstLBA.value();
  decoded.last_lba = entry.LastLBA.value();
  decoded.attributes = entry.Attributes.value();
  decoded.type_name = type.typeText;
  for (const encoding::le_u16 unit : entry.PartitionName) {
    if (unit.value() == 0) break;
    decoded.name_units.push_back(unit.value());
  }
  decoded.name = encoding::Utf16ToUtf8(decoded.name_units);
  decoded.name_fits_type =
      type.expectedName.empty() || NameFitsType(SingleByteName(decoded.name_units), type.expectedName);
  return decoded;
}

vhdx_inspect::GptRecord DecodeGpt(EfiHeaderBytes headerBytes, GptEntryArrayBytes entries) {
  const auto header = LoadRecord<EFI_HEADER>(headerBytes);
  vhdx_inspect::GptRecord decoded;
  decoded.signature = header.Signature;
  decoded.revision = header.Revision.value();
  decoded.header_size = header.HeaderSize.value();
  decoded.header_crc32 = header.HeaderCRC32.value();
  decoded.my_lba = header.MyLBA.value();
  decoded.alternate_lba = header.AlternateLBA.value();
  decoded.first_usable_lba = header.FirstUsableLBA.value();
  decoded.last_usable_lba = header.LastUsableLBA.value();
  decoded.disk_guid = PublicGuid(header.DiskGUID);
  decoded.partition_entry_lba = header.PartitionEntryLBA.value();
  decoded.number_of_partition_entries = header.NumberOfPartitionEntries.value();
  decoded.size_of_partition_entry = header.SizeOfPartitionEntry.value();
  decoded.partition_entry_array_crc32 = header.PartitionEntryArrayCRC32.value();
  for (std::size_t n = 0; n < kGptEntryCount; ++n) {
    const auto entry = LoadRecord<GPT_PARTITION_ENTRY>(entries, n * kGptEntrySize);
    if (!entry || entry->UniquePartitionGUID == kUnusedEntry) break;
    decoded.entries.push_back(DecodeGptEntry(*entry));
  }
  return decoded;
}

}  // namespace partition
