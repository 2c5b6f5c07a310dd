#include "partition/gpt_report.h"

#include <algorithm>

#include "partition/partition_types.h"
#include "platform/number_format.h"

namespace partition {
namespace {

using platform::Decimal;
using platform::HexWithPrefix;
using platform::LoadRecord;

constexpr Guid kUnusedEntry{};

// The signature bytes up to the first zero byte.
std::string SignatureText(const EFI_HEADER& header) {
  const auto end = std::find(header.Signature.begin(), header.Signature.end(), 0);
  return std::string(header.Signature.begin(), end);
}

// A name fits its type when it begins with the expected name.
bool NameFitsType(const std::string& name, std::string_view expectedName) {
  return name.size() >= expectedName.size() && name.compare(0, expectedName.size(), expectedName) == 0;
}

}  // namespace

void PrintEfiHeader(EfiHeaderBytes bytes, std::ostream& out) {
  const auto header = LoadRecord<EFI_HEADER>(bytes);
  out << std::endl;
  out << "EFI Header " << std::endl;
  out << std::endl;
  out << "\tSignature:                  " << SignatureText(header) << std::endl;
  out << "\tRevision:                   " << HexWithPrefix(header.Revision.value()) << std::endl;
  out << "\tHeaderSize:                 " << HexWithPrefix(header.HeaderSize.value()) << std::endl;
  out << "\tHeaderCRC32:                " << HexWithPrefix(header.HeaderCRC32.value()) << std::endl;
  out << "\tMyLBA:                      " << HexWithPrefix(header.MyLBA.value()) << std::endl;
  out << "\tAlternateLBA:               " << HexWithPrefix(header.AlternateLBA.value()) << std::endl;
  out << "\tFirstUsableLBA:             " << HexWithPrefix(header.FirstUsableLBA.value()) << std::endl;
  out << "\tLastUsableLBA:              " << HexWithPrefix(header.LastUsableLBA.value()) << std::endl;
  out << "\tPartitionEntryLBA:          " << HexWithPrefix(header.PartitionEntryLBA.value()) << std::endl;
  out << "\tNumberOfPartitionEntries:   " << HexWithPrefix(header.NumberOfPartitionEntries.value()) << std::endl;
  out << "\tSizeOfPartitionEntry:       " << HexWithPrefix(header.SizeOfPartitionEntry.value()) << std::endl;
  out << "\tPartitionEntryArrayCRC32:   " << HexWithPrefix(header.PartitionEntryArrayCRC32.value()) << std::endl;
}

void PrintGptPartitionEntries(GptEntryArrayBytes entries, std::ostream& out) {
  for (std::size_t n = 1; n <= kGptEntryCount; ++n) {
    const auto entry = LoadRecord<GPT_PARTITION_ENTRY>(entries, (n - 1) * kGptEntrySize);
    if (!entry || entry->UniquePartitionGUID == kUnusedEntry) return;
    out << std::endl;
    out << "\tGPT Partition Entry " << Decimal(n) << std::endl;
    out << std::endl;
    PrintGptPartitionEntry(*entry, out);
  }
}

std::string ConvertPartitionName(const GPT_PARTITION_ENTRY& entry) {
  std::string name;
  for (const platform::le_u16 unit : entry.PartitionName) {
    const std::uint16_t value = unit.value();
    if (value == 0) break;
    name.push_back(value <= 0xFF ? static_cast<char>(value) : '?');
  }
  return name;
}

void PrintGptPartitionEntry(const GPT_PARTITION_ENTRY& entry, std::ostream& out) {
  const PartitionType& type = ClassifyPartitionType(entry.PartitionTypeGUID);
  const std::string name = ConvertPartitionName(entry);
  out << "\t\tPartition Type:  " << type.typeText << std::endl;
  out << "\t\tFirstLBA:        " << HexWithPrefix(entry.FirstLBA.value()) << std::endl;
  out << "\t\tLastLBA:         " << HexWithPrefix(entry.LastLBA.value()) << std::endl;
  out << "\t\tAttributes:      " << HexWithPrefix(entry.Attributes.value()) << std::endl;
  out << "\t\tPartitionName:   " << name << std::endl;
  if (!type.expectedName.empty() && !NameFitsType(name, type.expectedName)) {
    out << "\t\t\tPartitionName is invalid.  " << std::endl;
  }
}

}  // namespace partition
