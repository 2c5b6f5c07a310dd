#include "partition/gpt_decode.h"

#include <array>
#include <span>

#include "encoding/utf16.h"
#include "partition/partition_types.h"

namespace vhdx_inspect::detail::partition {
namespace {

using encoding::LoadRecord;

constexpr Guid kUnusedEntry{};

vhdx_inspect::Guid PublicGuid(const Guid& guid) { return vhdx_inspect::Guid{guid.bytes}; }

// A name fits its type when it begins with the expected name, unit by unit.
bool NameFitsType(std::span<const std::uint16_t> units, std::string_view expectedName) {
  if (units.size() < expectedName.size()) return false;
  for (std::size_t i = 0; i < expectedName.size(); ++i) {
    if (units[i] != static_cast<unsigned char>(expectedName[i])) return false;
  }
  return true;
}

// Entry `n` (below kGptEntryCount) of an array of exactly that many entries.
GPT_PARTITION_ENTRY EntryAt(GptEntryArrayBytes entries, std::size_t n) {
  return LoadRecord<GPT_PARTITION_ENTRY>(
      std::span<const std::byte, kGptEntrySize>(entries.subspan(n * kGptEntrySize, kGptEntrySize)));
}

}  // namespace

vhdx_inspect::GptEntryRecord DecodeGptEntry(const GPT_PARTITION_ENTRY& entry) {
  const PartitionType& type = ClassifyPartitionType(entry.PartitionTypeGUID);
  vhdx_inspect::GptEntryRecord decoded;
  decoded.type_guid = PublicGuid(entry.PartitionTypeGUID);
  decoded.unique_guid = PublicGuid(entry.UniquePartitionGUID);
  decoded.first_lba = entry.FirstLBA.value();
  decoded.last_lba = entry.LastLBA.value();
  decoded.attributes = entry.Attributes.value();
  decoded.type_name = type.typeText;
  std::array<std::uint16_t, kPartitionNameUnits> units{};
  std::size_t length = 0;
  while (length < units.size() && entry.PartitionName[length].value() != 0) {
    units[length] = entry.PartitionName[length].value();
    ++length;
  }
  const std::span<const std::uint16_t> name(units.data(), length);
  decoded.name = encoding::Utf16ToUtf8(name);
  decoded.name_fits_type = type.expectedName.empty() || NameFitsType(name, type.expectedName);
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
  std::size_t used = 0;
  while (used < kGptEntryCount && EntryAt(entries, used).UniquePartitionGUID != kUnusedEntry) ++used;
  decoded.entries.reserve(used);
  for (std::size_t n = 0; n < used; ++n) decoded.entries.push_back(DecodeGptEntry(EntryAt(entries, n)));
  return decoded;
}

}  // namespace vhdx_inspect::detail::partition
