// Stage 2: the metadata region. One 2 MiB read, then the metadata table, the
// four standard items, the plugin metadata and its volume records, checked
// in the order they are written here; the first failed check ends the stage.
// Every offset taken from the region is checked against the buffer before
// anything is read through it.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "platform/number_format.h"
#include "vhdx/plugin_vhdx_reader.h"

namespace vhdx {
namespace {

using platform::HexKeepingPrefixFlag;
using platform::InCurrentBase;
using platform::LoadRecord;
using platform::RangeFits;

constexpr std::uint64_t kOneMiB = 1048576;

// The highest offset at which `width` bytes still fit in the region buffer.
constexpr std::uint32_t LastOffsetFor(std::uint64_t width) {
  return static_cast<std::uint32_t>(kMetadataRegionReadSize - width);
}

// The length in bytes of the zero-terminated UTF-16 text at `offset`, the
// terminator not counted, or nothing when no terminator lies inside `bytes`.
std::optional<std::uint64_t> Utf16TextBytes(std::span<const std::byte> bytes, std::uint64_t offset) {
  for (std::uint64_t length = 0; RangeFits(bytes.size(), offset + length, 2); length += 2) {
    if (bytes[offset + length] == std::byte{0} && bytes[offset + length + 1] == std::byte{0}) return length;
  }
  return std::nullopt;
}

}  // namespace

// Reads the item of the table entry `item`, refusing one that would reach
// past the region buffer.
template <typename Item>
Item PluginVhdxReader::ReadItem(std::span<const std::byte> region, const METADATA_TABLE& table, MetadataItem item) {
  const std::uint32_t offset = table.Entries[item.entry].Offset.value();
  const std::optional<Item> loaded = LoadRecord<Item>(region, offset);
  if (!loaded) {
    Fail("table_", item.name, "->Offset is: ", InCurrentBase(offset), " Offset should be at most ",
         InCurrentBase(LastOffsetFor(sizeof(Item))));
  }
  return *loaded;
}

void PluginVhdxReader::ParseMetadata() {
  if (!FileHandle) FailOpen();
  if (!FileHandle->Seek(MetadataOffset)) {
    Fail("SetFilePointerEx failed with status ", InCurrentBase(FileHandle->LastError()),
         " for file: ", FileName.c_str());
  }
  // What a short read does not deliver reads as zero. After a failed read,
  // or into a buffer that could not be allocated, the stage stays incomplete
  // without a line, and the metadata report refuses to run.
  if (MetadataBuffer.size() != kMetadataRegionReadSize) return;
  std::uint32_t bytesRead = 0;
  if (!MetadataBuffer.ReadFrom(*FileHandle, bytesRead)) return;
  const auto buffer = platform::ViewAt<kMetadataRegionReadSize>(MetadataBuffer.span(), 0);
  if (!buffer) return;
  const std::span<const std::byte, kMetadataRegionReadSize> region = *buffer;

  const auto table = LoadRecord<METADATA_TABLE>(region);
  if (table.Header.Signature != kMetadataTableSignature) Fail("Not a valid metadata table header.");
  if (table.Header.EntryCount.value() != 6) {
    Fail("Entry count is: ", InCurrentBase(table.Header.EntryCount.value()), " Entry count should be 6.");
  }
  if (table.Entries[kPluginMetadata.entry].ItemId != PluginMetadataGuid) {
    Fail("Not a Tolvenar VHDX - the plugin metadata is missing.");
  }

  const std::uint32_t blockSize = ReadItem<platform::le_u32>(region, table, kFileParameters).value();
  if (blockSize != kRequiredBlockSize) {
    Fail("BlockSize is: ", InCurrentBase(blockSize), " BlockSize should be ",
         InCurrentBase(static_cast<std::int32_t>(kRequiredBlockSize)));
  }
  BlockSize = blockSize;
  VirtualDiskSize = ReadItem<platform::le_u64>(region, table, kVirtualDiskSize).value();
  LogicalSectorSize = ReadItem<platform::le_u32>(region, table, kLogicalSectorSize).value();
  PhysicalSectorSize = ReadItem<platform::le_u32>(region, table, kPhysicalSectorSize).value();
  ChunkRatio = static_cast<std::uint32_t>((std::uint64_t{8388608} * LogicalSectorSize) / BlockSize);

  ParsePluginMetadata(region, table);
  MetadataParsed = true;
}

void PluginVhdxReader::ParsePluginMetadata(std::span<const std::byte> region, const METADATA_TABLE& table) {
  const METADATA_TABLE_ENTRY& entry = table.Entries[kPluginMetadata.entry];
  PluginMetadata.offset = entry.Offset.value();
  PluginMetadata.header = ReadItem<PLUGIN_VHDX_METADATA>(region, table, kPluginMetadata);
  const PLUGIN_VHDX_METADATA& plugin = PluginMetadata.header;

  WarnOnVirtualSize(plugin);
  const std::uint32_t itemLength = entry.Length.value();
  if (plugin.cbTotalMetaData.value() != itemLength) {
    Fail("table_PLUGIN_VHDX_METADATA->Length is: ", InCurrentBase(itemLength),
         " PLUGIN_VHDX_METADATA->cbTotalMetaData ", InCurrentBase(plugin.cbTotalMetaData.value()));
  }
  if (plugin.nMbrGptSize.value() == 0) Fail("table_PLUGIN_VHDX_METADATA->nMbrGptSize is: 0");

  nMbrGptSize = plugin.nMbrGptSize.value();
  nGptTrailerLength = plugin.nGptTrailerLength.value();
  nGptTrailerDiskOffset = plugin.nGptTrailerDiskOffset.value();
  if (nGptTrailerLength != 0) {
    if (nGptTrailerDiskOffset == 0) Fail("table_PLUGIN_VHDX_METADATA->nGptTrailerDiskOffset is: 0");
    GptTrailerPresent = true;
  }

  const std::uint32_t expected = kPluginHeaderSize + CheckVolumes(region);
  if (plugin.cbTotalMetaData.value() != expected) {
    Fail("table_PLUGIN_VHDX_METADATA->Length is: ", InCurrentBase(itemLength), " TotalPluginMetadataSize ",
         InCurrentBase(expected));
  }
}

// A warning only: the virtual disk size matches the plugin's sizes, exactly
// or rounded up to a whole MiB.
void PluginVhdxReader::WarnOnVirtualSize(const PLUGIN_VHDX_METADATA& plugin) {
  const auto nVirtualDiskSize = plugin.nVirtualDiskSize.value();
  const std::uint64_t sum =
      static_cast<std::uint64_t>(nVirtualDiskSize) + static_cast<std::uint64_t>(plugin.nMbrGptSize.value());
  const std::uint64_t sumRoundedUp = (sum + (kOneMiB - 1)) & ~(kOneMiB - 1);
  if (VirtualDiskSize != sum && VirtualDiskSize != sumRoundedUp) {
    out_ << "VIRTUAL_DISK_SIZE->VirtualDiskSize is: " << HexKeepingPrefixFlag(VirtualDiskSize)
         << " PLUGIN_VHDX_METADATA->nVirtualDiskSize " << HexKeepingPrefixFlag(nVirtualDiskSize) << std::endl;
  }
}

// Walks the volume list up to its first empty entry, keeps each volume's
// record for the report, and returns the sum of the volume sizes (32 bits,
// wrapping).
std::uint32_t PluginVhdxReader::CheckVolumes(std::span<const std::byte> region) {
  const std::uint32_t pluginOffset = PluginMetadata.offset;
  const std::uint64_t lastRecordOffset = kMetadataRegionReadSize - sizeof(VOLUME_PLUGIN_METADATA) - pluginOffset;

  PluginMetadata.volumeCount = 0;
  std::uint32_t total = 0;
  for (const PLUGIN_METADATA_ENTRY& entry : PluginMetadata.header.MetaData) {
    const std::uint32_t cbSize = entry.cbSize.value();
    if (cbSize == 0) break;
    total += cbSize;

    const std::uint32_t cbMetaDataOffset = entry.cbMetaDataOffset.value();
    const std::uint64_t recordOffset = std::uint64_t{pluginOffset} + cbMetaDataOffset;
    const std::optional<VOLUME_PLUGIN_METADATA> record = LoadRecord<VOLUME_PLUGIN_METADATA>(region, recordOffset);
    if (!record) {
      Fail("entry_PLUGIN_VHDX_METADATA->MetaData[ i ].cbMetaDataOffset is: ", InCurrentBase(cbMetaDataOffset),
           " Offset should be at most ", InCurrentBase(lastRecordOffset));
    }
    if (record->MySize.value() != cbSize) {
      Fail("pTwbMetaData->MySize is: ", InCurrentBase(record->MySize.value()),
           " entry_PLUGIN_VHDX_METADATA->MetaData[ i ].cbSize is ", InCurrentBase(cbSize));
    }
    const std::optional<std::uint64_t> imageFileListBytes = Utf16TextBytes(region, recordOffset + kImageFileListOffset);
    if (!imageFileListBytes) Fail("pTwbMetaData->ImageFileList is not terminated inside the metadata region.");
    PluginMetadata.volumes[PluginMetadata.volumeCount++] = {entry, *record, *imageFileListBytes};
  }
  return total;
}

}  // namespace vhdx
