// Every offset taken from the region is checked against the buffer before
// anything is read through it.
#include "vhdx/metadata.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "encoding/utf16.h"
#include "vhdx/metadata_records.h"

namespace vhdx_inspect::detail::vhdx {
namespace {

using encoding::LoadRecord;
using encoding::RangeFits;
using vhdx_inspect::Inspection;

constexpr std::uint64_t kOneMiB = 1048576;
using Region = RegionWindow;

// The highest offset at which `width` bytes still fit in the region buffer.
constexpr std::int64_t LastOffsetFor(std::uint64_t width) {
  return static_cast<std::int64_t>(kMetadataRegionReadSize - width);
}

// The length in bytes of the zero-terminated UTF-16 text at the start of
// `bytes`, the terminator not counted, or nothing when no terminator lies
// inside them.
std::optional<std::uint64_t> Utf16TextBytes(std::span<const std::byte> bytes) {
  for (std::uint64_t length = 0; RangeFits(bytes.size(), length, 2); length += 2) {
    if (bytes[length] == std::byte{0} && bytes[length + 1] == std::byte{0}) return length;
  }
  return std::nullopt;
}

// The text at region offset `offset` of the volume record that ends at
// `recordEnd`, its terminator not included; empty `text` when no terminator
// lies before the end of the region. The record is asked for first, and the
// rest of the region only when the text runs past it.
StageResult ImageFileList(Region& region, std::uint64_t offset, std::uint64_t recordEnd,
                          std::optional<std::span<const std::byte>>& text) {
  text.reset();
  const std::uint64_t regionEnd = region.size();
  std::optional<std::uint64_t> length;
  for (const std::uint64_t end : {std::min(std::max(recordEnd, offset), regionEnd), regionEnd}) {
    if (end <= offset) continue;
    std::span<std::byte> bytes;
    if (StageResult failed = region.Fetch({offset, end - offset}, bytes)) return failed;
    length = Utf16TextBytes(bytes);
    if (length) {
      text = std::span<const std::byte>(bytes).first(static_cast<std::size_t>(*length));
      return std::nullopt;
    }
  }
  return std::nullopt;
}

// The item of the table entry `item`, fetched; `value` stays empty when the
// item would reach past the region.
template <typename Item>
StageResult ReadItem(Region& region, const METADATA_TABLE& table, MetadataItem item, std::optional<Item>& value) {
  return LoadFrom(region, table.Entries[item.entry].Offset.value(), value);
}

// Announces the items the table points to, so that they are fetched
// together: the four standard values and the plugin item at its length.
StageResult ExpectItems(Region& region, const METADATA_TABLE& table) {
  const auto at = [&](MetadataItem item, std::uint64_t width) {
    return Extent{table.Entries[item.entry].Offset.value(), width};
  };
  const std::uint64_t pluginLength =
      std::max<std::uint64_t>(table.Entries[kPluginMetadata.entry].Length.value(), sizeof(PLUGIN_VHDX_METADATA));
  const Extent items[] = {at(kFileParameters, 4), at(kVirtualDiskSize, 8), at(kLogicalSectorSize, 4),
                          at(kPhysicalSectorSize, 4), at(kPluginMetadata, pluginLength)};
  return region.Expect(items);
}

Failure ItemOutOfRange(const METADATA_TABLE& table, MetadataItem item, std::uint64_t width) {
  return Failed(item.offsetCheck, table.Entries[item.entry].Offset.value(), LastOffsetFor(width));
}

// A warning only: the virtual disk size matches the plugin's sizes, exactly
// or rounded up to a whole MiB.
void WarnOnVirtualSize(const PLUGIN_VHDX_METADATA& plugin, Inspection& inspection) {
  const std::uint64_t sum = static_cast<std::uint64_t>(plugin.nVirtualDiskSize.value()) +
                            static_cast<std::uint64_t>(plugin.nMbrGptSize.value());
  const std::uint64_t sumRoundedUp = (sum + (kOneMiB - 1)) & ~(kOneMiB - 1);
  const std::uint64_t virtualDiskSize = inspection.metadata->virtual_disk_size;
  if (virtualDiskSize != sum && virtualDiskSize != sumRoundedUp) {
    inspection.warnings.push_back({vhdx_inspect::Check::kVirtualDiskSizeMismatch, {}, std::nullopt, std::nullopt});
  }
}

vhdx_inspect::PluginHeaderRecord PluginHeaderRecordOf(const PLUGIN_VHDX_METADATA& plugin,
                                                      const METADATA_TABLE_ENTRY& entry) {
  return {entry.Offset.value(),
          entry.Length.value(),
          plugin.Revision.value(),
          plugin.nVirtualDiskSize.value(),
          plugin.nMbrGptSize.value(),
          plugin.nGptTrailerLength.value(),
          plugin.nGptTrailerDiskOffset.value(),
          plugin.cbMaxMetaData.value(),
          plugin.cbTotalMetaData.value()};
}

vhdx_inspect::VolumeRecord VolumeRecordOf(const PLUGIN_METADATA_ENTRY& entry, const VOLUME_PLUGIN_METADATA& record,
                                          std::span<const std::byte> imageFileList) {
  return {entry.cbSize.value(),      entry.cbMetaDataOffset.value(),
          record.MySize.value(),     record.nVolumeSize.value(),
          record.cbPassword.value(), record.cbPasswordOffset.value(),
          imageFileList.size(),      encoding::Utf16LeBytesToUtf8(imageFileList)};
}

// Walks the volume list up to its first empty entry, keeps each volume's
// record, and sets `total` to the sum of the volume sizes (32 bits,
// wrapping).
StageResult CheckVolumes(Region& region, const PLUGIN_VHDX_METADATA& plugin, std::uint32_t pluginOffset,
                         Inspection& inspection, std::uint32_t& total) {
  const std::uint64_t lastRecordOffset = kMetadataRegionReadSize - sizeof(VOLUME_PLUGIN_METADATA) - pluginOffset;
  std::size_t listed = 0;
  while (listed < kMaxVolumes && plugin.MetaData[listed].cbSize.value() != 0) ++listed;
  inspection.volumes.reserve(listed);
  total = 0;
  for (const PLUGIN_METADATA_ENTRY& entry : plugin.MetaData) {
    const std::uint32_t cbSize = entry.cbSize.value();
    if (cbSize == 0) break;
    total += cbSize;

    const std::uint32_t cbMetaDataOffset = entry.cbMetaDataOffset.value();
    const std::uint64_t recordOffset = std::uint64_t{pluginOffset} + cbMetaDataOffset;
    std::optional<VOLUME_PLUGIN_METADATA> record;
    if (StageResult failed = LoadFrom(region, recordOffset, record)) return failed;
    if (!record) {
      return Failed(Check::kVolumeOffset, cbMetaDataOffset, static_cast<std::int64_t>(lastRecordOffset));
    }
    if (record->MySize.value() != cbSize) return Failed(Check::kVolumeSize, record->MySize.value(), cbSize);
    const std::uint64_t listOffset = recordOffset + kImageFileListOffset;
    std::optional<std::span<const std::byte>> list;
    if (StageResult failed = ImageFileList(region, listOffset, recordOffset + cbSize, list)) return failed;
    if (!list) return Failed(Check::kVolumeImageFileList);
    inspection.volumes.push_back(VolumeRecordOf(entry, *record, *list));
  }
  return std::nullopt;
}

StageResult CheckPluginMetadata(Region& region, const METADATA_TABLE& table, Inspection& inspection) {
  const METADATA_TABLE_ENTRY& entry = table.Entries[kPluginMetadata.entry];
  std::optional<PLUGIN_VHDX_METADATA> loaded;
  if (StageResult failed = ReadItem(region, table, kPluginMetadata, loaded)) return failed;
  if (!loaded) return ItemOutOfRange(table, kPluginMetadata, sizeof(PLUGIN_VHDX_METADATA));
  const PLUGIN_VHDX_METADATA& plugin = *loaded;
  inspection.plugin = PluginHeaderRecordOf(plugin, entry);

  WarnOnVirtualSize(plugin, inspection);
  const std::uint32_t itemLength = entry.Length.value();
  const std::uint32_t cbTotalMetaData = plugin.cbTotalMetaData.value();
  if (cbTotalMetaData != itemLength) return Failed(Check::kPluginLength, itemLength, cbTotalMetaData);
  if (plugin.nMbrGptSize.value() == 0) return Failed(Check::kPluginMbrGptSizeZero);
  const bool hasTrailer = plugin.nGptTrailerLength.value() != 0;
  if (hasTrailer && plugin.nGptTrailerDiskOffset.value() == 0) return Failed(Check::kPluginTrailerOffsetZero);

  std::uint32_t volumeTotal = 0;
  if (StageResult failed = CheckVolumes(region, plugin, entry.Offset.value(), inspection, volumeTotal)) return failed;
  const std::uint32_t expected = kPluginHeaderSize + volumeTotal;
  if (cbTotalMetaData != expected) return Failed(Check::kPluginTotalSize, itemLength, expected);

  if (hasTrailer) {
    inspection.partition_area = vhdx_inspect::PartitionAreaRecord{
        plugin.nMbrGptSize.value(), plugin.nGptTrailerLength.value(), plugin.nGptTrailerDiskOffset.value()};
  }
  return std::nullopt;
}

StageResult CheckRegion(Region& region, Inspection& inspection) {
  std::optional<METADATA_TABLE> loadedTable;
  if (StageResult failed = LoadFrom(region, 0, loadedTable)) return failed;
  const METADATA_TABLE& table = *loadedTable;  // the region is larger than its table
  if (table.Header.Signature != kMetadataTableSignature) return Failed(Check::kMetadataTableSignature);
  if (table.Header.EntryCount.value() != 6)
    return Failed(Check::kMetadataTableEntryCount, table.Header.EntryCount.value(), 6);
  if (table.Entries[kPluginMetadata.entry].ItemId != PluginMetadataGuid) return Failed(Check::kPluginMetadataMissing);
  if (StageResult failed = ExpectItems(region, table)) return failed;

  std::optional<encoding::le_u32> blockSize;
  if (StageResult failed = ReadItem(region, table, kFileParameters, blockSize)) return failed;
  if (!blockSize) return ItemOutOfRange(table, kFileParameters, 4);
  if (blockSize->value() != kRequiredBlockSize)
    return Failed(Check::kBlockSize, blockSize->value(), kRequiredBlockSize);
  std::optional<encoding::le_u64> virtualDiskSize;
  if (StageResult failed = ReadItem(region, table, kVirtualDiskSize, virtualDiskSize)) return failed;
  if (!virtualDiskSize) return ItemOutOfRange(table, kVirtualDiskSize, 8);
  std::optional<encoding::le_u32> logicalSectorSize;
  if (StageResult failed = ReadItem(region, table, kLogicalSectorSize, logicalSectorSize)) return failed;
  if (!logicalSectorSize) return ItemOutOfRange(table, kLogicalSectorSize, 4);
  std::optional<encoding::le_u32> physicalSectorSize;
  if (StageResult failed = ReadItem(region, table, kPhysicalSectorSize, physicalSectorSize)) return failed;
  if (!physicalSectorSize) return ItemOutOfRange(table, kPhysicalSectorSize, 4);

  vhdx_inspect::MetadataRecord metadata;
  metadata.block_size = blockSize->value();
  metadata.virtual_disk_size = virtualDiskSize->value();
  metadata.logical_sector_size = logicalSectorSize->value();
  metadata.physical_sector_size = physicalSectorSize->value();
  metadata.chunk_ratio =
      static_cast<std::uint32_t>((std::uint64_t{8388608} * metadata.logical_sector_size) / metadata.block_size);
  inspection.metadata = metadata;
  return CheckPluginMetadata(region, table, inspection);
}

}  // namespace

StageResult CheckMetadata(RegionWindow& region, Inspection& inspection) { return CheckRegion(region, inspection); }

}  // namespace vhdx_inspect::detail::vhdx
