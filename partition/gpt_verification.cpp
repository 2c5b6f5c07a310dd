#include "partition/gpt_verification.h"

#include "partition/crc32.h"
#include "platform/number_format.h"

namespace partition {
namespace {

using platform::HexWithPrefix;
using platform::LoadRecord;

struct Checksums {
  std::uint32_t header;
  std::uint32_t entryArray;
};

Checksums ComputeChecksums(EfiHeaderBytes header, GptEntryArrayBytes entries) {
  return {Crc32SkipField(header, kHeaderCrc32FieldOffset), Crc32(entries)};
}

void ReportStoredAndCalculated(std::ostream& out, const char* message, std::uint32_t stored, std::uint32_t calculated) {
  out << "\t" << message << std::endl;
  out << "\t\tHeader value:     " << HexWithPrefix(stored) << std::endl;
  out << "\t\tCalculated value: " << HexWithPrefix(calculated) << std::endl;
}

template <typename T>
void ReportHeaderAndTrailer(std::ostream& out, const char* message, T primary, T backup) {
  out << "\t" << message << std::endl;
  out << "\t\tHeader value:     " << HexWithPrefix(primary) << std::endl;
  out << "\t\tTrailer value:    " << HexWithPrefix(backup) << std::endl;
}

void CheckHeader(const EFI_HEADER& header, const Checksums& computed, std::ostream& out) {
  if (header.Signature != kEfiSignature) out << "\tSignature is invalid.  " << std::endl;
  if (header.Revision.value() != kEfiRevision) out << "\tRevision is invalid.  " << std::endl;
  if (header.HeaderSize.value() != kEfiHeaderSize) out << "\tHeaderSize is invalid.  " << std::endl;
  if (header.NumberOfPartitionEntries.value() != kGptEntryCount) {
    out << "\tNumberOfPartitionEntries is invalid.  " << std::endl;
  }
  if (header.SizeOfPartitionEntry.value() != kGptEntrySize) {
    out << "\tSizeOfPartitionEntry is invalid.  " << std::endl;
  }
  if (header.HeaderCRC32.value() != computed.header) {
    ReportStoredAndCalculated(out, "HeaderCRC32 is invalid.  ", header.HeaderCRC32.value(), computed.header);
  }
  if (header.PartitionEntryArrayCRC32.value() != computed.entryArray) {
    ReportStoredAndCalculated(out, "PartitionEntryArrayCRC32 is invalid.  ", header.PartitionEntryArrayCRC32.value(),
                              computed.entryArray);
  }
}

void CheckHeadersAgree(const EFI_HEADER& primary, const EFI_HEADER& backup, std::ostream& out) {
  if (primary.MyLBA.value() != backup.AlternateLBA.value()) {
    ReportHeaderAndTrailer(out, "pEfiHeader->MyLBA is invalid.  ", primary.MyLBA.value(), backup.AlternateLBA.value());
  }
  if (primary.AlternateLBA.value() != backup.MyLBA.value()) {
    ReportHeaderAndTrailer(out, "pEfiHeader->AlternateLBA is invalid.  ", primary.AlternateLBA.value(),
                           backup.MyLBA.value());
  }
  if (primary.FirstUsableLBA.value() != backup.FirstUsableLBA.value()) {
    ReportHeaderAndTrailer(out, "pEfiHeader->FirstUsableLBA is invalid.  ", primary.FirstUsableLBA.value(),
                           backup.FirstUsableLBA.value());
  }
  if (primary.LastUsableLBA.value() != backup.LastUsableLBA.value()) {
    ReportHeaderAndTrailer(out, "pEfiHeader->LastUsableLBA is invalid.  ", primary.LastUsableLBA.value(),
                           backup.LastUsableLBA.value());
  }
}

}  // namespace

void VerifyGpt(EfiHeaderBytes primaryHeader, GptEntryArrayBytes primaryEntries, EfiHeaderBytes backupHeader,
               GptEntryArrayBytes backupEntries, std::ostream& out) {
  const Checksums primaryComputed = ComputeChecksums(primaryHeader, primaryEntries);
  const Checksums backupComputed = ComputeChecksums(backupHeader, backupEntries);
  const auto primary = LoadRecord<EFI_HEADER>(primaryHeader);
  const auto backup = LoadRecord<EFI_HEADER>(backupHeader);

  out << std::endl;
  out << "Verifying the EFI header" << std::endl;
  CheckHeader(primary, primaryComputed, out);

  out << std::endl;
  out << "Verifying the EFI trailer" << std::endl;
  CheckHeader(backup, backupComputed, out);

  out << std::endl;
  out << "Verifying the EFI LBA entries" << std::endl;
  CheckHeadersAgree(primary, backup, out);

  out << std::endl;
  out << "Verifying the PartitionEntryArrayCRC32" << std::endl;
  if (primary.PartitionEntryArrayCRC32.value() != backup.PartitionEntryArrayCRC32.value()) {
    ReportHeaderAndTrailer(out, "pEfiHeader->PartitionEntryArrayCRC32 is invalid.  ",
                           primary.PartitionEntryArrayCRC32.value(), backup.PartitionEntryArrayCRC32.value());
  }
}

}  // namespace partition
