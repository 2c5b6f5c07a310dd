// Stage 1: the header section. One 1 MiB read, then the file identifier, the
// current header and the region table, in this order; the first failed check
// ends the stage.
#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/number_format.h"
#include "vhdx/crc32c.h"
#include "vhdx/plugin_vhdx_reader.h"

namespace vhdx {
namespace {

using platform::InCurrentBase;
using platform::LoadRecord;

std::uint32_t LoadU32(std::span<const std::byte> bytes, std::size_t offset) {
  return LoadRecord<platform::le_u32>(bytes, offset)->value();
}

void StoreU32(std::span<std::byte> bytes, std::size_t offset, std::uint32_t value) {
  for (std::size_t i = 0; i < 4; ++i) bytes[offset + i] = static_cast<std::byte>(value >> (8 * i));
}

}  // namespace

// Takes the stored checksum out, computes the CRC-32C with the field zeroed,
// and puts the stored value back.
bool PluginVhdxReader::ChecksumMatches(std::span<std::byte> structure) {
  const std::uint32_t stored = LoadU32(structure, kChecksumFieldOffset);
  StoreU32(structure, kChecksumFieldOffset, 0);
  const std::uint32_t computed =
      crc32c(0xFFFFFFFF, structure.data(), static_cast<std::uint32_t>(structure.size()));
  StoreU32(structure, kChecksumFieldOffset, stored);
  return computed == stored;
}

void PluginVhdxReader::ReadHeaderSection() {
  if (!FileHandle) FailOpen();

  std::uint32_t bytesRead = 0;
  if (HeaderSectionBuffer.size() != kHeaderSectionSize) {
    Fail("ReadFile failed with status ", InCurrentBase(platform::kOutOfMemoryStatus), " for file: ",
         FileName.c_str());
  }
  if (!HeaderSectionBuffer.ReadFrom(*FileHandle, bytesRead)) {
    Fail("ReadFile failed with status ", InCurrentBase(FileHandle->LastError()), " for file: ", FileName.c_str());
  }
  if (bytesRead != kHeaderSectionSize) {
    Fail("Attemped to read ", InCurrentBase(static_cast<std::int32_t>(kHeaderSectionSize)), " bytes, but ",
         InCurrentBase(bytesRead), " were read.");
  }

  const std::span<std::byte> section = HeaderSectionBuffer.span();
  const auto identifier = *LoadRecord<FILE_IDENTIFIER>(section);
  if (identifier.Signature != kVhdxSignature && identifier.Signature != kVhdxAlternativeSignature) {
    Fail("Not a VHDX signature.");
  }
  if (identifier.Creator != kRequiredCreator) Fail("VHDX not created by Tallowbridge.");

  const auto sequence1 = LoadRecord<VHDX_HEADER>(section, kHeader1Offset)->SequenceNumber.value();
  const auto sequence2 = LoadRecord<VHDX_HEADER>(section, kHeader2Offset)->SequenceNumber.value();
  const std::span<std::byte> header =
      section.subspan(sequence1 > sequence2 ? kHeader1Offset : kHeader2Offset, kHeaderSize);
  CurrentHeader = header;
  if (LoadRecord<VHDX_HEADER>(header)->Signature != kHeaderSignature) Fail("Not a valid header.");
  if (!ChecksumMatches(header)) Fail("Not a valid header CRC.");

  std::span<std::byte> regionTable = section.subspan(kRegionTable2Offset, kRegionTableSize);
  if (!ChecksumMatches(regionTable)) {
    regionTable = section.subspan(kRegionTable1Offset, kRegionTableSize);
    if (!ChecksumMatches(regionTable)) Fail("Not a valid region CRC.");
  }

  const auto table = *LoadRecord<REGION_TABLE_HEADER>(regionTable);
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
