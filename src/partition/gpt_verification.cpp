#include "partition/gpt_verification.h"

#include "partition/crc32.h"

namespace vhdx_inspect::detail::partition {
namespace {

using encoding::LoadRecord;
using vhdx_inspect::Check;
using vhdx_inspect::Finding;
using vhdx_inspect::GptSide;

struct Checksums {
  std::uint32_t header;
  std::uint32_t entryArray;
};

Checksums ComputeChecksums(EfiHeaderBytes header, GptEntryArrayBytes entries) {
  return {Crc32SkipField(header, kHeaderCrc32FieldOffset), Crc32(entries)};
}

void CheckHeader(const EFI_HEADER& header, const Checksums& computed, GptSide side, std::vector<Finding>& findings) {
  const auto found = [&](Check check) { findings.push_back({check, side, {}, std::nullopt, std::nullopt}); };
  const auto differs = [&](Check check, std::uint32_t stored, std::uint32_t calculated) {
    findings.push_back({check, side, {}, stored, calculated});
  };
  if (header.Signature != kEfiSignature) found(Check::kGptSignature);
  if (header.Revision.value() != kEfiRevision) found(Check::kGptRevision);
  if (header.HeaderSize.value() != kEfiHeaderSize) found(Check::kGptHeaderSize);
  if (header.NumberOfPartitionEntries.value() != kGptEntryCount) found(Check::kGptNumberOfPartitionEntries);
  if (header.SizeOfPartitionEntry.value() != kGptEntrySize) found(Check::kGptSizeOfPartitionEntry);
  if (header.HeaderCRC32.value() != computed.header) {
    differs(Check::kGptHeaderCrc, header.HeaderCRC32.value(), computed.header);
  }
  if (header.PartitionEntryArrayCRC32.value() != computed.entryArray) {
    differs(Check::kGptEntryArrayCrc, header.PartitionEntryArrayCRC32.value(), computed.entryArray);
  }
}

void CheckHeadersAgree(const EFI_HEADER& primary, const EFI_HEADER& backup, std::vector<Finding>& findings) {
  const auto compare = [&](Check check, std::uint64_t primaryValue, std::uint64_t backupValue) {
    if (primaryValue != backupValue) findings.push_back({check, std::nullopt, {}, primaryValue, backupValue});
  };
  compare(Check::kGptMyLba, primary.MyLBA.value(), backup.AlternateLBA.value());
  compare(Check::kGptAlternateLba, primary.AlternateLBA.value(), backup.MyLBA.value());
  compare(Check::kGptFirstUsableLba, primary.FirstUsableLBA.value(), backup.FirstUsableLBA.value());
  compare(Check::kGptLastUsableLba, primary.LastUsableLBA.value(), backup.LastUsableLBA.value());
  compare(Check::kGptEntryArrayCrcAgreement, primary.PartitionEntryArrayCRC32.value(),
          backup.PartitionEntryArrayCRC32.value());
}

}  // namespace

void VerifyGpt(EfiHeaderBytes primaryHeader, GptEntryArrayBytes primaryEntries, EfiHeaderBytes backupHeader,
               GptEntryArrayBytes backupEntries, std::vector<Finding>& findings) {
  const auto primary = LoadRecord<EFI_HEADER>(primaryHeader);
  const auto backup = LoadRecord<EFI_HEADER>(backupHeader);
  CheckHeader(primary, ComputeChecksums(primaryHeader, primaryEntries), GptSide::kPrimary, findings);
  CheckHeader(backup, ComputeChecksums(backupHeader, backupEntries), GptSide::kBackup, findings);
  CheckHeadersAgree(primary, backup, findings);
}

}  // namespace vhdx_inspect::detail::partition
