// Every offset taken from the region is checked against the buffer before
// anything is read through it.
#include "vhdx/metadata.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "encoding/utf16.h"
#include "vhdx/metadata_records.h"

namespace vhdx {
namespace {

using encoding::LoadRecord;
using encoding::RangeFits;
using vhdx_inspect::Inspection;

constexpr std::uint64_t kOneMiB = 1048576;
using Region = std::span<const std::byte, kMetadataRegionReadSize>;

// The highest offset at which `width` bytes still fit in the region buffer.
constexpr std::int64_t LastOffsetFor(std::uint64_t width) {
  return static_cast<std::int64_t>(kMetadataRegionReadSize - width);
}

// The length in bytes of the zero-terminated UTF-16 text at `offset`, the
// terminator not counted, or nothing when no terminator lies inside `bytes`.
std::optional<std::uint64_t> Utf16TextBytes(std::span<const std::byte> bytes, std::uint64_t offset) {
  for (std::uint64_t length = 0; RangeFits(bytes.size(), offset + length, 2); length += 2) {
    if (bytes[offset + length] == std::byte{0} && bytes[offset + length + 1] == std::byte{0}) return length;
  }
  return std::nullopt;
}

// The item of the table entry `item`, or nothing when it would reach past
// the region buffer.
template <typename Item>
std::optional<Item> ReadItem(Region region, const METADATA_TABLE& table, MetadataItem item) {
  return LoadRecord<Item>(region, table.Entries[item.entry].Offset.value());
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
StageResult CheckVolumes(Region region, const PLUGIN_VHDX_METADATA& plugin, std::uint32_t pluginOffset,
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
    const std::optional<VOLUME_PLUGIN_METADATA> record = LoadRecord<VOLUME_PLUGIN_METADATA>(region, recordOffset);
    if (!record) {
      return Failed(Check::kVolumeOffset, cbMetaDataOffset, static_cast<std::int64_t>(lastRecordOffset));
    }
    if (record->MySize.value() != cbSize) return Failed(Check::kVolumeSize, record->MySize.value(), cbSize);
    const std::uint64_t listOffset = recordOffset + kImageFileListOffset;
    const std::optional<std::uint64_t> listBytes = Utf16TextBytes(region, listOffset);
    if (!listBytes) return Failed(Check::kVolumeImageFileList);
    inspection.volumes.push_back(VolumeRecordOf(entry, *record, std::span(region).subspan(listOffset, *listBytes)));
  }
  return std::nullopt;
}

StageResult CheckPluginMetadata(Region region, const METADATA_TABLE& table, Inspection& inspection) {
  const METADATA_TABLE_ENTRY& entry = table.Entries[kPluginMetadata.entry];
  const std::optional<PLUGIN_VHDX_METADATA> loaded = ReadItem<PLUGIN_VHDX_METADATA>(region, table, kPluginMetadata);
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

StageResult CheckRegion(Region region, Inspection& inspection) {
  const auto table = LoadRecord<METADATA_TABLE>(region);
  if (table.Header.Signature != kMetadataTableSignature) return Failed(Check::kMetadataTableSignature);
  if (table.Header.EntryCount.value() != 6)
    return Failed(Check::kMetadataTableEntryCount, table.Header.EntryCount.value(), 6);
  if (table.Entries[kPluginMetadata.entry].ItemId != PluginMetadataGuid) return Failed(Check::kPluginMetadataMissing);

  const auto blockSize = ReadItem<encoding::le_u32>(region, table, kFileParameters);
  if (!blockSize) return ItemOutOfRange(table, kFileParameters, 4);
  if (blockSize->value() != kRequiredBlockSize)
    return Failed(Check::kBlockSize, blockSize->value(), kRequiredBlockSize);
  const auto virtualDiskSize = ReadItem<encoding::le_u64>(region, table, kVirtualDiskSize);
  if (!virtualDiskSize) return ItemOutOfRange(table, kVirtualDiskSize, 8);
  const auto logicalSectorSize = ReadItem<encoding::le_u32>(region, table, kLogicalSectorSize);
  if (!logicalSectorSize) return ItemOutOfRange(table, kLogicalSectorSize, 4);
  const auto physicalSectorSize = ReadItem<encoding::le_u32>(region, table, kPhysicalSectorSize);
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

StageResult CheckMetadata(platform::File& file, platform::ZeroedBuffer& buffer, Inspection& inspection) {
  if (!file.Seek(inspection.regions->metadata_offset)) {
    return FailedWithStatus(Check::kMetadataRegionSeek, file.LastError());
  }
  // What a short read does not deliver reads as zero.
  if (buffer.size() != kMetadataRegionReadSize) {
    return FailedWithStatus(Check::kMetadataRegionRead, platform::kOutOfMemoryStatus);
  }
  std::uint32_t bytesRead = 0;
  if (!buffer.ReadFrom(file, bytesRead)) return FailedWithStatus(Check::kMetadataRegionRead, file.LastError());
  const auto region = encoding::ViewAt<kMetadataRegionReadSize>(std::span<const std::byte>(buffer.span()), 0);
  if (!region) return FailedWithStatus(Check::kMetadataRegionRead, platform::kOutOfMemoryStatus);
  return CheckRegion(*region, inspection);
}

}  // namespace vhdx
