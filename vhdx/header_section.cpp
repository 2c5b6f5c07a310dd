// Stage 1: the header section. One 1 MiB read, then the file identifier, the
// current header and the region table, in this order; the first failed check
// ends the stage.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/number_format.h"
#include "vhdx/crc32c.h"
#include "vhdx/plugin_vhdx_reader.h"

namespace vhdx {
namespace {

using platform::InCurrentBase;
using platform::LoadRecord;

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
  return computed == LoadRecord<platform::le_u32>(std::span(stored)).value();
}

}  // namespace

void PluginVhdxReader::ReadHeaderSection() {
  if (!FileHandle) FailOpen();

  // The buffer is empty when it could not be allocated: nothing is read then.
  const auto failWithoutBuffer = [this] {
    Fail("ReadFile failed with status ", InCurrentBase(platform::kOutOfMemoryStatus), " for file: ", FileName.c_str());
  };
  if (HeaderSectionBuffer.size() != kHeaderSectionSize) failWithoutBuffer();
  std::uint32_t bytesRead = 0;
  const bool read = HeaderSectionBuffer.ReadFrom(*FileHandle, bytesRead);
  if (!read) {
    Fail("ReadFile failed with status ", InCurrentBase(FileHandle->LastError()), " for file: ", FileName.c_str());
  }
  if (bytesRead != kHeaderSectionSize) {
    Fail("Attemped to read ", InCurrentBase(static_cast<std::int32_t>(kHeaderSectionSize)), " bytes, but ",
         InCurrentBase(bytesRead), " were read.");
  }
  // Every view below is cut from this one at a fixed offset, checked when
  // the program is compiled.
  const auto buffer = platform::ViewAt<kHeaderSectionSize>(HeaderSectionBuffer.span(), 0);
  if (!buffer) failWithoutBuffer();
  const std::span<std::byte, kHeaderSectionSize> section = *buffer;

  const auto identifier = LoadRecord<FILE_IDENTIFIER>(section.first<sizeof(FILE_IDENTIFIER)>());
  if (identifier.Signature != kVhdxSignature && identifier.Signature != kVhdxAlternativeSignature) {
    Fail("Not a VHDX signature.");
  }
  if (identifier.Creator != kRequiredCreator) Fail("VHDX not created by Tallowbridge.");

  const std::span<std::byte, kHeaderSize> header1 = section.subspan<kHeader1Offset, kHeaderSize>();
  const std::span<std::byte, kHeaderSize> header2 = section.subspan<kHeader2Offset, kHeaderSize>();
  const auto sequence1 = LoadRecord<VHDX_HEADER>(header1).SequenceNumber.value();
  const auto sequence2 = LoadRecord<VHDX_HEADER>(header2).SequenceNumber.value();
  const std::span<std::byte, kHeaderSize> header = sequence1 > sequence2 ? header1 : header2;
  CurrentHeader = LoadRecord<VHDX_HEADER>(header);
  if (CurrentHeader.Signature != kHeaderSignature) Fail("Not a valid header.");
  if (!ChecksumMatches(header)) Fail("Not a valid header CRC.");

  std::span<std::byte, kRegionTableSize> regionTable = section.subspan<kRegionTable2Offset, kRegionTableSize>();
  if (!ChecksumMatches(regionTable)) {
    regionTable = section.subspan<kRegionTable1Offset, kRegionTableSize>();
    if (!ChecksumMatches(regionTable)) Fail("Not a valid region CRC.");
  }

  const auto table = LoadRecord<REGION_TABLE_HEADER>(regionTable);
  if (table.Signature != kRegionTableSignature) Fail("Not a valid region.");
  if (table.EntryCount.value() != 2) {
    Fail("Entry count is: ", InCurrentBase(table.EntryCount.value()), " Entry count should be 2.");
  }

  const REGION_TABLE_ENTRY& bat = table.Entries[0];
  if (bat.Guid != BatRegionGuid) Fail("Bad BAT GUID.");
  BATOffset = bat.FileOffset.value();
  BATLength = bat.Length.value();
  DataAreaOffset = BATOffset + BATLength;

  const REGION_TABLE_ENTRY& metadata = table.Entries[1];
  if (metadata.Guid != MetadataRegionGuid) Fail("Bad Metadata GUID.");
  MetadataOffset = metadata.FileOffset.value();
  MetadataLength = metadata.Length.value();
  HeaderSectionValid = true;
}

}  // namespace vhdx
