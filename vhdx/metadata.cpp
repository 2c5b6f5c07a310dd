// Stage 2: the metadata region. One 2 MiB read, then the metadata table, the
// four standard items, the plugin metadata and its volume records, in this
// order; the first failed check ends the stage. Every offset taken from the
// region is checked against the buffer before anything is read through it.
#include <algorithm>
#include <cstring>

#include "platform/number_format.h"
#include "vhdx/plugin_vhdx_reader.h"

namespace vhdx {
namespace {

using platform::HexKeepingPrefixFlag;
using platform::InCurrentBase;
using platform::LoadRecord;
using platform::RangeFits;

constexpr std::uint64_t kOneMiB = 1048576;

// The metadata table item names used in diagnostic lines.
constexpr const char* kItemNames[] = {"FILE_PARAMETERS", "VIRTUAL_DISK_SIZE", "LOGICAL_SECTOR_SIZE",
                                      "PHYSICAL_SECTOR_SIZE", "", "PLUGIN_VHDX_METADATA"};

// The highest offset at which `width` bytes still fit in the region buffer.
constexpr std::uint32_t LastOffsetFor(std::uint64_t width) {
  return static_cast<std::uint32_t>(kMetadataRegionReadSize - width);
}

// True when the UTF-16 text at `offset` ends with a zero code unit inside `bytes`.
bool HasTerminator(std::span<const std::byte> bytes, std::uint64_t offset) {
  for (; RangeFits(bytes.size(), offset, 2); offset += 2) {
    if (bytes[offset] == std::byte{0} && bytes[offset + 1] == std::byte{0}) return true;
  }
  return false;
}

}  // namespace

void PluginVhdxReader::ParseMetadata() {
  if (!FileHandle) FailOpen();
  if (!FileHandle->Seek(MetadataOffset)) {
    Fail("SetFilePointerEx failed with status ", InCurrentBase(FileHandle->LastError()), " for file: ",
         FileName.c_str());
  }
  std::uint32_t bytesRead = 0;
  // What a short read does not deliver reads as zero.
  if (MetadataBuffer.size() != kMetadataRegionReadSize || !MetadataBuffer.ReadFrom(*FileHandle, bytesRead)) {
    return;  // the stage stays incomplete; the metadata report refuses to run
  }

  const std::span<const std::byte> region = MetadataBuffer.span();
  const auto table = *LoadRecord<METADATA_TABLE>(region);
  if (table.Header.Signature != kMetadataTableSignature) Fail("Not a valid metadata table header.");
  if (table.Header.EntryCount.value() != 6) {
    Fail("Entry count is: ", InCurrentBase(table.Header.EntryCount.value()), " Entry count should be 6.");
  }
  const METADATA_TABLE_ENTRY& pluginEntry = table.Entries[kPluginMetadataEntry];
  if (pluginEntry.ItemId != PluginMetadataGuid) Fail("Not a Tolvenar VHDX - the plugin metadata is missing.");

  // Reads the standard item of table entry `entry`, refusing one that would
  // reach past the region buffer.
  const auto itemAt = [&]<typename Field>(std::size_t entry, Field) {
    const std::uint32_t offset = table.Entries[entry].Offset.value();
    if (!RangeFits(region.size(), offset, sizeof(Field))) {
      Fail("table_", kItemNames[entry], "->Offset is: ", InCurrentBase(offset), " Offset should be at most ",
           InCurrentBase(LastOffsetFor(sizeof(Field))));
    }
    return LoadRecord<Field>(region, offset)->value();
  };

  BlockSize = itemAt(kFileParametersEntry, platform::le_u32{});
  if (BlockSize != kRequiredBlockSize) {
    Fail("BlockSize is: ", InCurrentBase(BlockSize), " BlockSize should be ",
         InCurrentBase(static_cast<std::int32_t>(kRequiredBlockSize)));
  }
  VirtualDiskSize = itemAt(kVirtualDiskSizeEntry, platform::le_u64{});
  LogicalSectorSize = itemAt(kLogicalSectorSizeEntry, platform::le_u32{});
  PhysicalSectorSize = itemAt(kPhysicalSectorSizeEntry, platform::le_u32{});
  ChunkRatio = static_cast<std::uint32_t>((std::uint64_t{8388608} * LogicalSectorSize) / BlockSize);

  ParsePluginMetadata(pluginEntry.Offset.value());
  MetadataParsed = true;
}

void PluginVhdxReader::ParsePluginMetadata(std::uint32_t pluginOffset) {
  const std::span<const std::byte> region = MetadataBuffer.span();
  const auto loaded = LoadRecord<PLUGIN_VHDX_METADATA>(region, pluginOffset);
  if (!loaded) {
    Fail("table_PLUGIN_VHDX_METADATA->Offset is: ", InCurrentBase(pluginOffset), " Offset should be at most ",
         InCurrentBase(LastOffsetFor(sizeof(PLUGIN_VHDX_METADATA))));
  }
  const PLUGIN_VHDX_METADATA& plugin = *loaded;

  const auto nVirtualDiskSize = plugin.nVirtualDiskSize.value();
  const std::uint64_t sum = static_cast<std::uint64_t>(nVirtualDiskSize) +
                            static_cast<std::uint64_t>(plugin.nMbrGptSize.value());
  const std::uint64_t sumRoundedUp = (sum + (kOneMiB - 1)) & ~(kOneMiB - 1);
  if (VirtualDiskSize != sum && VirtualDiskSize != sumRoundedUp) {
    out_ << "VIRTUAL_DISK_SIZE->VirtualDiskSize is: " << HexKeepingPrefixFlag(VirtualDiskSize)
         << " PLUGIN_VHDX_METADATA->nVirtualDiskSize " << HexKeepingPrefixFlag(nVirtualDiskSize) << std::endl;
  }

  const std::uint32_t itemLength = LoadRecord<METADATA_TABLE>(region)->Entries[kPluginMetadataEntry].Length.value();
  const std::uint32_t cbTotalMetaData = plugin.cbTotalMetaData.value();
  if (cbTotalMetaData != itemLength) {
    Fail("table_PLUGIN_VHDX_METADATA->Length is: ", InCurrentBase(itemLength),
         " PLUGIN_VHDX_METADATA->cbTotalMetaData ", InCurrentBase(cbTotalMetaData));
  }
  if (plugin.nMbrGptSize.value() == 0) Fail("table_PLUGIN_VHDX_METADATA->nMbrGptSize is: 0");

  nMbrGptSize = plugin.nMbrGptSize.value();
  nGptTrailerLength = plugin.nGptTrailerLength.value();
  nGptTrailerDiskOffset = plugin.nGptTrailerDiskOffset.value();
  if (nGptTrailerLength != 0) {
    if (nGptTrailerDiskOffset == 0) Fail("table_PLUGIN_VHDX_METADATA->nGptTrailerDiskOffset is: 0");
    GptTrailerPresent = true;
  }

  CheckVolumes(pluginOffset, plugin);
}

void PluginVhdxReader::CheckVolumes(std::uint32_t pluginOffset, const PLUGIN_VHDX_METADATA& plugin) {
  const std::span<const std::byte> region = MetadataBuffer.span();
  const std::uint64_t lastRecordOffset = kMetadataRegionReadSize - sizeof(VOLUME_PLUGIN_METADATA) - pluginOffset;

  std::uint32_t total = 0;
  for (const PLUGIN_METADATA_ENTRY& entry : plugin.MetaData) {
    const std::uint32_t cbSize = entry.cbSize.value();
    if (cbSize == 0) break;
    total += cbSize;

    const std::uint32_t cbMetaDataOffset = entry.cbMetaDataOffset.value();
    const std::uint64_t recordOffset = std::uint64_t{pluginOffset} + cbMetaDataOffset;
    const auto record = LoadRecord<VOLUME_PLUGIN_METADATA>(region, recordOffset);
    if (!record) {
      Fail("entry_PLUGIN_VHDX_METADATA->MetaData[ i ].cbMetaDataOffset is: ", InCurrentBase(cbMetaDataOffset),
           " Offset should be at most ", InCurrentBase(lastRecordOffset));
    }
    if (record->MySize.value() != cbSize) {
      Fail("pTwbMetaData->MySize is: ", InCurrentBase(record->MySize.value()),
           " entry_PLUGIN_VHDX_METADATA->MetaData[ i ].cbSize is ", InCurrentBase(cbSize));
    }
    if (!HasTerminator(region, recordOffset + kImageFileListOffset)) {
      Fail("pTwbMetaData->ImageFileList is not terminated inside the metadata region.");
    }
  }

  const std::uint32_t expected = kPluginHeaderSize + total;
  if (plugin.cbTotalMetaData.value() != expected) {
    Fail("table_PLUGIN_VHDX_METADATA->Length is: ", InCurrentBase(plugin.cbTotalMetaData.value()),
         " TotalPluginMetadataSize ", InCurrentBase(expected));
  }
}

}  // namespace vhdx
