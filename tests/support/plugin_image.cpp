#include "support/plugin_image.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <limits>
#include <stdexcept>

#include "support/checksums.h"

namespace testsupport {
namespace {

// Fixed placement of the VHDX regions in every built image.
constexpr std::uint64_t kHeader1Offset = 64 * kKiB;
constexpr std::uint64_t kHeader2Offset = 128 * kKiB;
constexpr std::uint64_t kRegionTable1Offset = 192 * kKiB;
constexpr std::uint64_t kRegionTable2Offset = 256 * kKiB;
constexpr std::uint64_t kHeaderChecksummedSize = 4 * kKiB;
constexpr std::uint64_t kRegionTableSize = 64 * kKiB;
constexpr std::uint64_t kLogOffset = 1 * kMiB;
constexpr std::uint64_t kLogLength = 1 * kMiB;
constexpr std::uint64_t kMetadataRegionOffset = 2 * kMiB;
constexpr std::uint64_t kMetadataRegionLength = 1 * kMiB;
constexpr std::uint64_t kBatRegionOffset = 3 * kMiB;
// Where the metadata items lie inside the metadata region (items must start
// at 64 KiB or later).
constexpr std::uint64_t kFirstItemOffset = 64 * kKiB;
constexpr std::uint64_t kPluginItemOffset = 128 * kKiB;
// The tool reads this much of the metadata region in one piece.
constexpr std::uint64_t kMetadataReadSize = 2 * kMiB;
constexpr std::uint32_t kPluginHeaderSize = 4096;
constexpr std::size_t kMaxVolumes = 16;
constexpr std::size_t kMaxPartitionNameUnits = 36;

constexpr std::uint64_t RoundUp(std::uint64_t value, std::uint64_t multiple) {
  return (value + multiple - 1) / multiple * multiple;
}

constexpr std::uint64_t CeilDiv(std::uint64_t value, std::uint64_t divisor) { return (value + divisor - 1) / divisor; }

// Sectors taken by one 16384-byte partition entry array.
constexpr std::uint64_t EntryArraySectors(std::uint32_t sectorSize) { return CeilDiv(kGptEntryArraySize, sectorSize); }

struct GptGeometry {
  std::uint64_t firstUsable;
  std::uint64_t lastUsable;
  std::uint64_t backupEntriesLba;
};

GptGeometry GeometryOf(std::uint32_t sectorSize, std::uint64_t diskSectors) {
  const std::uint64_t arraySectors = EntryArraySectors(sectorSize);
  if (diskSectors < 4 + 2 * arraySectors) {
    throw std::invalid_argument("the virtual disk is too small for a GPT");
  }
  return {2 + arraySectors, diskSectors - 2 - arraySectors, diskSectors - 1 - arraySectors};
}

void Require(bool condition, const char* what) {
  if (!condition) throw std::invalid_argument(what);
}

}  // namespace

std::vector<GptPartition> StandardPartitions(std::uint32_t logicalSectorSize, std::uint64_t virtualDiskSize) {
  Require(logicalSectorSize != 0 && kMiB % logicalSectorSize == 0, "the sector size must divide 1 MiB");
  const std::uint64_t align = kMiB / logicalSectorSize;
  const GptGeometry geometry = GeometryOf(logicalSectorSize, virtualDiskSize / logicalSectorSize);
  const std::uint64_t efiFirst = align;
  const std::uint64_t reservedFirst = efiFirst + 100 * align;
  const std::uint64_t dataFirst = reservedFirst + 16 * align;
  const std::uint64_t dataEnd = (geometry.lastUsable + 1) / align * align;  // exclusive
  Require(dataEnd > dataFirst, "the virtual disk is too small for the standard partitions");
  return {
      {kEfiSystemPartitionType, GuidFromString("6B1F0E3A-4C2D-4E8B-9A57-31D0C8F2E4A6"), efiFirst, reservedFirst - 1,
       0x1, std::u16string(kEfiSystemPartitionName)},
      {kMicrosoftReservedPartitionType, GuidFromString("D9E4A7B2-0F61-4B35-8C1E-5A2F7D906B38"), reservedFirst,
       dataFirst - 1, 0, std::u16string(kMicrosoftReservedPartitionName)},
      {kBasicDataPartitionType, GuidFromString("2C8B5F19-E3A4-47D0-B6F2-98A1C4E07D5B"), dataFirst, dataEnd - 1, 0,
       std::u16string(kBasicDataPartitionName)},
  };
}

namespace {

std::vector<GptPartition> DefaultPartitions(std::uint32_t S, std::uint64_t virtualDiskSize) {
  const std::uint64_t align = kMiB / S;
  const GptGeometry g = GeometryOf(S, virtualDiskSize / S);
  if ((g.lastUsable + 1) / align * align > 117 * align) return StandardPartitions(S, virtualDiskSize);
  return {{kBasicDataPartitionType, GuidFromString("2C8B5F19-E3A4-47D0-B6F2-98A1C4E07D5B"), g.firstUsable, g.lastUsable,
           0, std::u16string(kBasicDataPartitionName)}};
}

}  // namespace

std::uint64_t Layout::header(int which) const {
  if (which != 1 && which != 2) throw std::invalid_argument("headers are numbered 1 and 2");
  return headers[static_cast<std::size_t>(which - 1)];
}

std::uint64_t Layout::regionTable(int copy) const {
  if (copy != 1 && copy != 2) throw std::invalid_argument("region table copies are numbered 1 and 2");
  return regionTables[static_cast<std::size_t>(copy - 1)];
}

std::vector<std::byte> FieldValue::Encode(std::uint32_t width) const {
  std::vector<std::byte> out(width, std::byte{0});
  if (const auto* integer = std::get_if<std::uint64_t>(&value_)) {
    Require(width >= 1 && width <= 8, "an integer goes into a field of 1 to 8 bytes");
    if (width < 8) {
      const std::uint64_t bits = 8ull * width;
      const bool fits = negative_ ? static_cast<std::int64_t>(*integer) >= -(std::int64_t{1} << (bits - 1))
                                  : *integer < (std::uint64_t{1} << bits);
      Require(fits, "the integer does not fit in the field");
    }
    for (std::uint32_t i = 0; i < width; ++i) {
      out[i] = static_cast<std::byte>((*integer >> (8 * i)) & 0xFF);
    }
  } else if (const auto* guid = std::get_if<Guid>(&value_)) {
    Require(width == 16, "a GUID goes into a 16-byte field");
    for (std::size_t i = 0; i < 16; ++i) out[i] = static_cast<std::byte>(guid->bytes[i]);
  } else if (const auto* ascii = std::get_if<std::string>(&value_)) {
    Require(ascii->size() <= width, "the text is longer than the field");
    for (std::size_t i = 0; i < ascii->size(); ++i) out[i] = static_cast<std::byte>((*ascii)[i]);
  } else {
    const auto& utf16 = std::get<std::u16string>(value_);
    Require(utf16.size() * 2 <= width, "the text is longer than the field");
    for (std::size_t i = 0; i < utf16.size(); ++i) {
      out[2 * i] = static_cast<std::byte>(utf16[i] & 0xFF);
      out[2 * i + 1] = static_cast<std::byte>(utf16[i] >> 8);
    }
  }
  return out;
}

PluginImage PluginImage::Build(const ImageDescription& d) {
  const std::uint32_t S = d.logicalSectorSize;
  Require(S >= 512 && (S & (S - 1)) == 0 && S <= kMiB,
          "the logical sector size must be a power of two from 512 to 1 MiB");
  Require(d.virtualDiskSize % S == 0, "the virtual disk size must be a multiple of the sector size");
  Require(d.blockSize != 0, "the block size must not be 0");
  Require(d.volumes.size() <= kMaxVolumes, "a plugin item holds at most 16 volumes");

  PluginImage image;
  image.description_ = d;
  if (!d.partitions && !d.partitionAreaBytes) {
    image.description_.partitions = DefaultPartitions(S, d.virtualDiskSize);
  }
  const std::vector<GptPartition> partitions = image.description_.partitions.value_or(std::vector<GptPartition>{});
  Require(partitions.size() <= kGptEntryCount, "a GPT holds at most 128 partitions");
  Layout& L = image.layout_;
  L.sectorSize = S;
  L.diskSectors = d.virtualDiskSize / S;
  L.fileIdentifier = 0;
  L.headers = {kHeader1Offset, kHeader2Offset};
  L.regionTables = {kRegionTable1Offset, kRegionTable2Offset};
  L.log = kLogOffset;
  L.logLength = kLogLength;
  L.metadataRegion = kMetadataRegionOffset;
  L.metadataRegionLength = kMetadataRegionLength;
  L.batRegion = kBatRegionOffset;

  // BAT: one entry per payload block, plus the sector bitmap entries that the
  // published format interleaves every chunk-ratio blocks; at least 1 MiB.
  const std::uint64_t chunkRatio = std::max<std::uint64_t>(1, (std::uint64_t{1} << 23) * S / d.blockSize);
  const std::uint64_t payloadBlocks = CeilDiv(d.virtualDiskSize, d.blockSize);
  const std::uint64_t batEntries = payloadBlocks + CeilDiv(payloadBlocks, chunkRatio);
  L.batRegionLength = std::max<std::uint64_t>(kMiB, RoundUp(batEntries * 8, kMiB));
  Require(L.batRegionLength <= std::numeric_limits<std::uint32_t>::max(), "the BAT is too large");
  L.dataArea = L.batRegion + L.batRegionLength;

  // Metadata items, in the order the tool takes them.
  L.metadataItems = {L.metadataRegion + kFirstItemOffset,      L.metadataRegion + kFirstItemOffset + 8,
                     L.metadataRegion + kFirstItemOffset + 16, L.metadataRegion + kFirstItemOffset + 20,
                     L.metadataRegion + kFirstItemOffset + 24, L.metadataRegion + kPluginItemOffset};
  L.pluginItem = L.metadataItems[kPluginItem];
  std::uint64_t pluginLength = kPluginHeaderSize;
  for (const Volume& v : d.volumes) {
    Require(v.recordSize >= volume_field::kImageFileListOffset + 2 * (v.imageFileList.size() + 1),
            "a volume's ImageFileList and its terminator do not fit in its record");
    L.volumeRecords.push_back(L.pluginItem + pluginLength);
    pluginLength += v.recordSize;
  }
  Require(kPluginItemOffset + pluginLength <= kMetadataRegionLength,
          "the plugin item does not fit in the metadata region");
  L.pluginItemLength = static_cast<std::uint32_t>(pluginLength);

  // Partition tables in the data area.
  L.partitionArea = L.dataArea;
  L.partitionAreaSize = d.partitionAreaBytes ? d.partitionAreaBytes->size() : MbrGptSize(S);
  Require(L.partitionAreaSize != 0, "the partition-table area must not be empty");
  L.mbr = L.partitionArea;
  L.primaryGptHeader = L.partitionArea + S;
  L.primaryGptEntries = L.partitionArea + 2ull * S;
  L.hasTrailer = d.gptTrailer;
  if (d.gptTrailer) {
    L.trailerDiskOffset = d.gptTrailerDiskOffset;
    L.trailerLength = d.trailerBytes ? d.trailerBytes->size() : GptTrailerLength(S);
    Require(L.trailerLength != 0, "the trailer must not be empty");
    Require(L.trailerDiskOffset >= L.partitionAreaSize, "the trailer must lie after the partition-table area");
    L.trailer = L.dataArea + L.trailerDiskOffset;
    L.backupGptEntries = L.trailer;
    L.backupGptHeader = L.trailer + kGptEntryArraySize;
  }
  const std::uint64_t end = std::max(
      {L.metadataRegion + kMetadataReadSize, L.partitionArea + L.partitionAreaSize, L.trailer + L.trailerLength});
  L.fileSize = RoundUp(end, kMiB);
  L.firstFreeBlockOffset = L.fileSize;
  for (const BatEntry& entry : d.batEntries) {
    Require(entry.index < batEntries, "a BAT entry past the entries the virtual size needs");
    const bool bitmap = (entry.index + 1) % (chunkRatio + 1) == 0;
    const bool present = entry.state == kBlockFullyPresent || (!bitmap && entry.state == kBlockPartiallyPresent);
    if (present) L.fileSize = std::max(L.fileSize, entry.fileOffset + (bitmap ? kMiB : d.blockSize));
  }
  image.bytes_.assign(L.fileSize, std::byte{0});

  // File identifier.
  image.Put(L.fileIdentifier, file_identifier_field::kSignature, d.signature);
  image.Put(L.fileIdentifier, file_identifier_field::kCreator, d.creator);

  // Headers: identical but for the sequence number.
  for (int h = 1; h <= 2; ++h) {
    const std::uint64_t at = L.header(h);
    image.Put(at, header_field::kSignature, "head");
    image.Put(at, header_field::kSequenceNumber, h == 1 ? d.header1SequenceNumber : d.header2SequenceNumber);
    image.Put(at, header_field::kFileWriteGuid, d.fileWriteGuid);
    image.Put(at, header_field::kDataWriteGuid, d.dataWriteGuid);
    image.Put(at, header_field::kLogGuid, d.logGuid);
    image.Put(at, header_field::kLogVersion, d.logVersion);
    image.Put(at, header_field::kVersion, d.version);
    image.Put(at, header_field::kLogLength, d.logLength);
    image.Put(at, header_field::kLogOffset, d.logOffset);
    image.FixHeaderChecksum(h);
  }

  // Region tables: two identical copies.
  for (int copy = 1; copy <= 2; ++copy) {
    const std::uint64_t at = L.regionTable(copy);
    image.Put(at, region_field::kSignature, "regi");
    image.Put(at, region_field::kEntryCount, 2);
    image.Put(at, RegionEntry(0, region_entry_field::kGuid), kBatRegionGuid);
    image.Put(at, RegionEntry(0, region_entry_field::kFileOffset), L.batRegion);
    image.Put(at, RegionEntry(0, region_entry_field::kLength), L.batRegionLength);
    image.Put(at, RegionEntry(0, region_entry_field::kRequired), 1);
    image.Put(at, RegionEntry(1, region_entry_field::kGuid), kMetadataRegionGuid);
    image.Put(at, RegionEntry(1, region_entry_field::kFileOffset), L.metadataRegion);
    image.Put(at, RegionEntry(1, region_entry_field::kLength), L.metadataRegionLength);
    image.Put(at, RegionEntry(1, region_entry_field::kRequired), 1);
    image.FixRegionTableChecksum(copy);
  }

  // Metadata table.
  struct Item {
    Guid id;
    std::uint32_t length;
    std::uint32_t flags;
  };
  constexpr std::uint32_t kVirtualDiskItem = kMetadataIsVirtualDisk | kMetadataIsRequired;
  const std::array<Item, 6> items = {{
      {kFileParametersGuid, 8, kMetadataIsRequired},
      {kVirtualDiskSizeGuid, 8, kVirtualDiskItem},
      {kLogicalSectorSizeGuid, 4, kVirtualDiskItem},
      {kPhysicalSectorSizeGuid, 4, kVirtualDiskItem},
      {kPage83DataGuid, 16, kVirtualDiskItem},
      {kPluginMetadataGuid, L.pluginItemLength, d.pluginItemFlags},
  }};
  image.Put(L.metadataRegion, metadata_field::kSignature, "metadata");
  const std::size_t listed = d.pluginItem ? items.size() : items.size() - 1;
  image.Put(L.metadataRegion, metadata_field::kEntryCount, listed);
  for (std::size_t i = 0; i < listed; ++i) {
    const int index = static_cast<int>(i);
    image.Put(L.metadataRegion, MetadataEntry(index, metadata_entry_field::kItemId), items[i].id);
    image.Put(L.metadataRegion, MetadataEntry(index, metadata_entry_field::kOffset),
              L.metadataItems[i] - L.metadataRegion);
    image.Put(L.metadataRegion, MetadataEntry(index, metadata_entry_field::kLength), items[i].length);
    image.Put(L.metadataRegion, MetadataEntry(index, metadata_entry_field::kFlags), items[i].flags);
  }
  image.Put(L.metadataItems[kFileParametersItem], file_parameters_field::kBlockSize, d.blockSize);
  image.Put64(L.metadataItems[kVirtualDiskSizeItem], d.virtualDiskSize);
  image.Put32(L.metadataItems[kLogicalSectorSizeItem], d.logicalSectorSize);
  image.Put32(L.metadataItems[kPhysicalSectorSizeItem], d.physicalSectorSize);
  image.PutBytes(L.metadataItems[kPage83DataItem], FieldValue(d.page83Data).Encode(16));

  // Plugin item and its volume records.
  const std::int64_t nMbrGptSize = static_cast<std::int64_t>(L.partitionAreaSize);
  image.PutInPluginItem(plugin_field::kRevision, d.pluginRevision);
  image.PutInPluginItem(plugin_field::kVirtualDiskSize,
                        d.nVirtualDiskSize.value_or(static_cast<std::int64_t>(d.virtualDiskSize) - nMbrGptSize));
  image.PutInPluginItem(plugin_field::kMbrGptSize, nMbrGptSize);
  image.PutInPluginItem(plugin_field::kGptTrailerLength, L.trailerLength);
  image.PutInPluginItem(plugin_field::kGptTrailerDiskOffset, L.trailerDiskOffset);
  image.PutInPluginItem(plugin_field::kMaxMetaData, d.cbMaxMetaData);
  image.PutInPluginItem(plugin_field::kTotalMetaData, L.pluginItemLength);
  for (std::size_t i = 0; i < d.volumes.size(); ++i) {
    const Volume& v = d.volumes[i];
    const int index = static_cast<int>(i);
    image.PutInPluginItem(PluginEntry(index, plugin_entry_field::kSize), v.recordSize);
    image.PutInPluginItem(PluginEntry(index, plugin_entry_field::kMetaDataOffset), L.volumeRecords[i] - L.pluginItem);
    image.PutInVolume(index, volume_field::kMySize, v.recordSize);
    image.PutInVolume(index, volume_field::kVolumeSize, v.volumeSize);
    image.PutInVolume(index, volume_field::kPasswordOffset, v.passwordOffset);
    image.PutInVolume(index, volume_field::kPassword, v.passwordSize);
    image.PutBytes(L.volumeRecords[i] + volume_field::kImageFileListOffset,
                   FieldValue(v.imageFileList).Encode(static_cast<std::uint32_t>(2 * v.imageFileList.size())));
  }

  // Partition-table area: protective MBR and primary GPT, or supplied bytes.
  if (d.partitionAreaBytes) {
    image.PutBytes(L.partitionArea, *d.partitionAreaBytes);
  } else {
    const GptGeometry g = GeometryOf(S, L.diskSectors);
    image.PutInMbr(MbrRecord(0, mbr_record_field::kStatus), 0);
    image.PutInMbr(MbrRecord(0, mbr_record_field::kStartChs), 0x000200);  // head 0, sector 2, cylinder 0
    image.PutInMbr(MbrRecord(0, mbr_record_field::kType), 0xEE);
    image.PutInMbr(MbrRecord(0, mbr_record_field::kEndChs), 0xFFFFFF);
    image.PutInMbr(MbrRecord(0, mbr_record_field::kSectorOffset), 1);
    image.PutInMbr(MbrRecord(0, mbr_record_field::kSectorCount),
                   std::min<std::uint64_t>(L.diskSectors - 1, 0xFFFFFFFFu));
    image.PutInMbr(mbr_field::kDiskSignature, d.mbrDiskSignature);
    image.PutInMbr(mbr_field::kBootSignature, 0xAA55);

    for (std::size_t i = 0; i < partitions.size(); ++i) {
      const GptPartition& p = partitions[i];
      Require(p.name.size() <= kMaxPartitionNameUnits, "a partition name holds at most 36 code units");
      Require(p.firstLba >= g.firstUsable && p.firstLba <= p.lastLba && p.lastLba <= g.lastUsable,
              "a partition lies outside the usable LBAs");
      const std::uint64_t at = L.primaryGptEntries + i * kGptEntrySize;
      image.Put(at, gpt_entry_field::kTypeGuid, p.type);
      image.Put(at, gpt_entry_field::kUniqueGuid, p.unique);
      image.Put(at, gpt_entry_field::kFirstLba, p.firstLba);
      image.Put(at, gpt_entry_field::kLastLba, p.lastLba);
      image.Put(at, gpt_entry_field::kAttributes, p.attributes);
      image.Put(at, gpt_entry_field::kName, p.name);
    }
    const auto putHeader = [&](std::uint64_t at, std::uint64_t myLba, std::uint64_t alternateLba,
                               std::uint64_t entriesLba) {
      image.Put(at, gpt_header_field::kSignature, "EFI PART");
      image.Put(at, gpt_header_field::kRevision, 0x00010000);
      image.Put(at, gpt_header_field::kHeaderSize, kGptHeaderSize);
      image.Put(at, gpt_header_field::kMyLba, myLba);
      image.Put(at, gpt_header_field::kAlternateLba, alternateLba);
      image.Put(at, gpt_header_field::kFirstUsableLba, g.firstUsable);
      image.Put(at, gpt_header_field::kLastUsableLba, g.lastUsable);
      image.Put(at, gpt_header_field::kDiskGuid, d.diskGuid);
      image.Put(at, gpt_header_field::kPartitionEntryLba, entriesLba);
      image.Put(at, gpt_header_field::kNumberOfPartitionEntries, kGptEntryCount);
      image.Put(at, gpt_header_field::kSizeOfPartitionEntry, kGptEntrySize);
    };
    putHeader(L.primaryGptHeader, 1, L.diskSectors - 1, 2);
    image.FixGptEntryArrayChecksum(GptCopy::kPrimary);
    if (L.hasTrailer && !d.trailerBytes) {
      image.PutBytes(L.backupGptEntries, image.View(L.primaryGptEntries, kGptEntryArraySize));
      putHeader(L.backupGptHeader, L.diskSectors - 1, 1, g.backupEntriesLba);
      image.FixGptEntryArrayChecksum(GptCopy::kBackup);
    }
  }
  if (L.hasTrailer && d.trailerBytes) image.PutBytes(L.trailer, *d.trailerBytes);
  for (const BatEntry& entry : d.batEntries) image.PutBatEntry(entry.index, entry.state, entry.fileOffset);
  return image;
}

void PluginImage::PutBatEntry(std::uint64_t index, std::uint8_t state, std::uint64_t fileOffset) {
  Put64(layout_.batEntry(index), (fileOffset & ~std::uint64_t{0xFFFFF}) | state);
}

void PluginImage::PutBytes(std::uint64_t at, std::span<const std::byte> bytes) {
  Require(at <= std::numeric_limits<std::size_t>::max() - bytes.size(), "write beyond any file size");
  if (at + bytes.size() > bytes_.size()) bytes_.resize(at + bytes.size(), std::byte{0});
  std::copy(bytes.begin(), bytes.end(), bytes_.begin() + static_cast<std::ptrdiff_t>(at));
}

void PluginImage::Put8(std::uint64_t at, std::uint8_t value) { PutBytes(at, FieldValue(value).Encode(1)); }
void PluginImage::Put16(std::uint64_t at, std::uint16_t value) { PutBytes(at, FieldValue(value).Encode(2)); }
void PluginImage::Put32(std::uint64_t at, std::uint32_t value) { PutBytes(at, FieldValue(value).Encode(4)); }
void PluginImage::Put64(std::uint64_t at, std::uint64_t value) { PutBytes(at, FieldValue(value).Encode(8)); }

void PluginImage::Put(std::uint64_t record, Field field, const FieldValue& value) {
  PutBytes(record + field.offset, value.Encode(field.width));
}

std::span<const std::byte> PluginImage::View(std::uint64_t at, std::uint64_t length) const {
  if (length > bytes_.size() || at > bytes_.size() - length) {
    throw std::out_of_range("the range lies beyond the end of the image");
  }
  return std::span<const std::byte>(bytes_).subspan(static_cast<std::size_t>(at), static_cast<std::size_t>(length));
}

std::uint64_t PluginImage::Get(std::uint64_t record, Field field) const {
  Require(field.width >= 1 && field.width <= 8, "Get reads integer fields of 1 to 8 bytes");
  const auto bytes = View(record + field.offset, field.width);
  std::uint64_t value = 0;
  for (std::size_t i = bytes.size(); i-- > 0;) value = (value << 8) | std::to_integer<std::uint64_t>(bytes[i]);
  return value;
}

void PluginImage::FixHeaderChecksum(int header) {
  const std::uint64_t at = layout_.header(header);
  Put(at, header_field::kChecksum, 0);
  Put(at, header_field::kChecksum, Crc32c(View(at, kHeaderChecksummedSize)));
}

void PluginImage::FixRegionTableChecksum(int copy) {
  const std::uint64_t at = layout_.regionTable(copy);
  Put(at, region_field::kChecksum, 0);
  Put(at, region_field::kChecksum, Crc32c(View(at, kRegionTableSize)));
}

namespace {

std::pair<std::uint64_t, std::uint64_t> GptCopyAt(const Layout& layout, GptCopy copy) {
  if (copy == GptCopy::kPrimary) return {layout.primaryGptHeader, layout.primaryGptEntries};
  if (!layout.hasTrailer) throw std::logic_error("the image has no GPT trailer, so no backup GPT");
  return {layout.backupGptHeader, layout.backupGptEntries};
}

}  // namespace

void PluginImage::FixGptHeaderChecksum(GptCopy copy) {
  const std::uint64_t at = GptCopyAt(layout_, copy).first;
  Put(at, gpt_header_field::kHeaderCrc32, 0);
  Put(at, gpt_header_field::kHeaderCrc32, Crc32(View(at, kGptHeaderSize)));
}

void PluginImage::FixGptEntryArrayChecksum(GptCopy copy) {
  const auto [header, entries] = GptCopyAt(layout_, copy);
  Put(header, gpt_header_field::kPartitionEntryArrayCrc32, Crc32(View(entries, kGptEntryArraySize)));
  FixGptHeaderChecksum(copy);
}

void PluginImage::FixGptChecksums() {
  FixGptEntryArrayChecksum(GptCopy::kPrimary);
  if (layout_.hasTrailer) FixGptEntryArrayChecksum(GptCopy::kBackup);
}

void PluginImage::PutInFileIdentifier(Field field, const FieldValue& value) {
  Put(layout_.fileIdentifier, field, value);
}

void PluginImage::PutInHeader(int header, Field field, const FieldValue& value) {
  Put(layout_.header(header), field, value);
  FixHeaderChecksum(header);
}

void PluginImage::PutInRegionTable(int copy, Field field, const FieldValue& value) {
  Put(layout_.regionTable(copy), field, value);
  FixRegionTableChecksum(copy);
}

void PluginImage::PutInRegionTables(Field field, const FieldValue& value) {
  PutInRegionTable(1, field, value);
  PutInRegionTable(2, field, value);
}

void PluginImage::PutInMetadataRegion(Field field, const FieldValue& value) {
  Put(layout_.metadataRegion, field, value);
}

void PluginImage::PutInMetadataItem(MetadataItem item, Field field, const FieldValue& value) {
  Put(layout_.metadataItems.at(static_cast<std::size_t>(item)), field, value);
}

void PluginImage::PutInPluginItem(Field field, const FieldValue& value) { Put(layout_.pluginItem, field, value); }

void PluginImage::PutInVolume(int volume, Field field, const FieldValue& value) {
  Put(layout_.volumeRecords.at(static_cast<std::size_t>(volume)), field, value);
}

void PluginImage::PutInMbr(Field field, const FieldValue& value) { Put(layout_.mbr, field, value); }

void PluginImage::PutInGptHeader(GptCopy copy, Field field, const FieldValue& value) {
  Put(GptCopyAt(layout_, copy).first, field, value);
  FixGptHeaderChecksum(copy);
}

void PluginImage::PutInGptEntry(GptCopy copy, int entry, Field field, const FieldValue& value) {
  Require(entry >= 0 && entry < static_cast<int>(kGptEntryCount), "GPT entries are numbered 0 to 127");
  Put(GptCopyAt(layout_, copy).second + static_cast<std::uint64_t>(entry) * kGptEntrySize, field, value);
  FixGptEntryArrayChecksum(copy);
}

namespace {

// Writes `pieces` (offset, bytes) into a new file of `size` bytes, leaving
// holes wherever nothing is written.
void WriteSparse(const std::string& path, std::uint64_t size,
                 const std::vector<std::pair<std::uint64_t, std::span<const std::byte>>>& pieces) {
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) throw std::runtime_error("cannot create " + path);
    for (const auto& [at, bytes] : pieces) {
      out.seekp(static_cast<std::streamoff>(at));
      out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    out.close();
    if (!out) throw std::runtime_error("cannot write " + path);
  }
  std::filesystem::resize_file(path, size);
}

}  // namespace

void PluginImage::WriteTo(const std::string& path) const {
  constexpr std::size_t kChunk = 64 * kKiB;
  std::vector<std::pair<std::uint64_t, std::span<const std::byte>>> pieces;
  const std::span<const std::byte> all(bytes_);
  for (std::size_t at = 0; at < all.size(); at += kChunk) {
    const auto chunk = all.subspan(at, std::min(kChunk, all.size() - at));
    if (std::any_of(chunk.begin(), chunk.end(), [](std::byte b) { return b != std::byte{0}; })) {
      pieces.emplace_back(at, chunk);
    }
  }
  WriteSparse(path, bytes_.size(), pieces);
}

void WriteRawDisk(const PluginImage& image, const std::string& path) {
  const Layout& L = image.layout();
  if (!L.hasTrailer) throw std::logic_error("an image without a GPT trailer describes no whole disk");
  const std::uint64_t diskSize = L.diskSectors * L.sectorSize;
  Require(diskSize >= L.partitionAreaSize + L.trailerLength, "the disk is too small for its tables");
  WriteSparse(path, diskSize,
              {{0, image.View(L.partitionArea, L.partitionAreaSize)},
               {diskSize - L.trailerLength, image.View(L.trailer, L.trailerLength)}});
}

void AdoptRawDisk(ImageDescription& description, const std::string& rawDiskPath) {
  const std::uint32_t S = description.logicalSectorSize;
  const std::uint64_t size = std::filesystem::file_size(rawDiskPath);
  const std::uint64_t areaSize = MbrGptSize(S);
  const std::uint64_t trailerLength = GptTrailerLength(S);
  Require(S != 0 && size % S == 0 && size >= areaSize + trailerLength,
          "the raw disk is not a whole number of sectors holding both GPT copies");
  std::ifstream in(rawDiskPath, std::ios::binary);
  const auto read = [&](std::uint64_t at, std::uint64_t length) {
    std::vector<std::byte> bytes(length);
    in.seekg(static_cast<std::streamoff>(at));
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(length));
    if (!in) throw std::runtime_error("cannot read " + rawDiskPath);
    return bytes;
  };
  description.partitionAreaBytes = read(0, areaSize);
  description.trailerBytes = read(size - trailerLength, trailerLength);
  description.virtualDiskSize = size;
  description.nVirtualDiskSize.reset();
  description.gptTrailer = true;
  description.partitions.reset();
}

}  // namespace testsupport
