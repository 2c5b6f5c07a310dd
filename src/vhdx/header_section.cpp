#include "vhdx/header_section.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "vhdx/crc32c.h"
#include "vhdx/header_section_records.h"

namespace vhdx_inspect::detail::vhdx {
namespace {

using encoding::LoadRecord;

// Takes the stored checksum out, computes the CRC-32C with the field zeroed,
// and puts the stored value back.
template <std::size_t Extent>
bool ChecksumMatches(std::span<std::byte, Extent> structure) {
  const std::span<std::byte, 4> field = structure.template subspan<kChecksumFieldOffset, 4>();
  std::array<std::byte, 4> stored;
  std::copy(field.begin(), field.end(), stored.begin());
  std::fill(field.begin(), field.end(), std::byte{0});
  const std::uint32_t computed = crc32c(0xFFFFFFFF, structure.data(), static_cast<std::uint32_t>(structure.size()));
  std::copy(stored.begin(), stored.end(), field.begin());
  return computed == LoadRecord<encoding::le_u32>(std::span(stored)).value();
}

vhdx_inspect::Guid PublicGuid(const Guid& guid) { return vhdx_inspect::Guid{guid.bytes}; }

vhdx_inspect::HeaderRecord HeaderRecordOf(const VHDX_HEADER& header) {
  return {header.SequenceNumber.value(),    header.Version.value(),    header.LogVersion.value(),
          header.LogLength.value(),         header.LogOffset.value(),  PublicGuid(header.FileWriteGuid),
          PublicGuid(header.DataWriteGuid), PublicGuid(header.LogGuid)};
}

// The checks after the read, over the part of the section they examine.
StageResult CheckSection(std::span<std::byte, kExaminedHeaderSectionSize> section, vhdx_inspect::Inspection& inspection,
                         SectionChecksums& checksums) {
  const auto identifier = LoadRecord<FILE_IDENTIFIER>(section.first<sizeof(FILE_IDENTIFIER)>());
  if (identifier.Signature != kVhdxSignature && identifier.Signature != kVhdxAlternativeSignature) {
    return Failed(Check::kFileIdentifierSignature);
  }
  if (identifier.Creator != kRequiredCreator) return Failed(Check::kFileIdentifierCreator);

  const std::span<std::byte, kHeaderSize> header1 = section.subspan<kHeader1Offset, kHeaderSize>();
  const std::span<std::byte, kHeaderSize> header2 = section.subspan<kHeader2Offset, kHeaderSize>();
  const auto sequence1 = LoadRecord<VHDX_HEADER>(header1).SequenceNumber.value();
  const auto sequence2 = LoadRecord<VHDX_HEADER>(header2).SequenceNumber.value();
  const std::size_t current = sequence1 > sequence2 ? 0 : 1;
  const std::span<std::byte, kHeaderSize> headerBytes = current == 0 ? header1 : header2;
  const auto header = LoadRecord<VHDX_HEADER>(headerBytes);
  if (header.Signature != kHeaderSignature) return Failed(Check::kHeaderSignature);
  checksums.header[current] = ChecksumMatches(headerBytes);
  if (!*checksums.header[current]) return Failed(Check::kHeaderCrc);

  std::span<std::byte, kRegionTableSize> regionTable = section.subspan<kRegionTable2Offset, kRegionTableSize>();
  checksums.region_table[1] = ChecksumMatches(regionTable);
  if (!*checksums.region_table[1]) {
    regionTable = section.subspan<kRegionTable1Offset, kRegionTableSize>();
    checksums.region_table[0] = ChecksumMatches(regionTable);
    if (!*checksums.region_table[0]) return Failed(Check::kRegionTableCrc);
  }

  const auto table = LoadRecord<REGION_TABLE_HEADER>(regionTable);
  if (table.Signature != kRegionTableSignature) return Failed(Check::kRegionTableSignature);
  if (table.EntryCount.value() != 2) return Failed(Check::kRegionTableEntryCount, table.EntryCount.value(), 2);

  const REGION_TABLE_ENTRY& bat = table.Entries[0];
  if (bat.Guid != BatRegionGuid) return Failed(Check::kBatRegionGuid);
  const REGION_TABLE_ENTRY& metadata = table.Entries[1];
  if (metadata.Guid != MetadataRegionGuid) return Failed(Check::kMetadataRegionGuid);

  vhdx_inspect::RegionsRecord regions;
  regions.bat_offset = bat.FileOffset.value();
  regions.bat_length = bat.Length.value();
  regions.metadata_offset = metadata.FileOffset.value();
  regions.metadata_length = metadata.Length.value();
  regions.data_area_offset = regions.bat_offset + regions.bat_length;
  inspection.header = HeaderRecordOf(header);
  inspection.regions = regions;
  return std::nullopt;
}

}  // namespace

StageResult CheckHeaderSection(RegionWindow& section, vhdx_inspect::Inspection& inspection,
                               SectionChecksums& checksums) {
  std::uint32_t held = 0;
  if (StageResult failed = section.Held(held)) return failed;
  if (held != kHeaderSectionSize) return Failed(Check::kHeaderSectionShort, held, kHeaderSectionSize);
  std::span<std::byte> bytes;
  if (StageResult failed = section.Fetch({0, kExaminedHeaderSectionSize}, bytes)) return failed;
  // Every view below is cut from this one at a fixed offset, checked when
  // the program is compiled.
  const auto examined = encoding::ViewAt<kExaminedHeaderSectionSize>(bytes, 0);
  if (!examined) return OutOfMemory();
  return CheckSection(*examined, inspection, checksums);
}

}  // namespace vhdx_inspect::detail::vhdx
