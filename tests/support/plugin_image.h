// Builds plugin VHDX images for tests, and damages them one field at a time.
//
//   testsupport::ImageDescription d;           // the sample: 1 GiB, 512-byte
//   d.volumes.pop_back();                      // sectors, two volumes, a GPT
//   auto image = testsupport::PluginImage::Build(d);   // trailer, three partitions
//   image.PutInHeader(2, header_field::kSignature, "hexd");  // checksum kept valid
//   image.WriteTo(path);                       // or hand image.bytes() to a memory file
//
// A default-built image is a real VHDX (qemu-img check and vhdiinfo accept it)
// whose data area holds a real protective MBR and GPT (sgdisk -v accepts the
// raw disk that WriteRawDisk makes of it).
#pragma once

#include <array>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>
#include <vector>

#include "support/fields.h"
#include "support/guid.h"

namespace testsupport {

inline constexpr std::uint64_t kKiB = 1024;
inline constexpr std::uint64_t kMiB = 1024 * kKiB;
inline constexpr std::uint64_t kGiB = 1024 * kMiB;

// One VOLUME_PLUGIN_METADATA record.
struct Volume {
  std::uint32_t recordSize = 512;  // written as both MetaData[i].cbSize and MySize
  std::int64_t volumeSize = 0;     // nVolumeSize
  std::uint32_t passwordOffset = 0;
  std::uint16_t passwordSize = 0;
  std::u16string imageFileList;  // written at offset 66 with its zero terminator
};

// One used GPT partition entry. LBAs count logical sectors.
struct GptPartition {
  Guid type;
  Guid unique;
  std::uint64_t firstLba = 0;
  std::uint64_t lastLba = 0;
  std::uint64_t attributes = 0;
  std::u16string name;  // at most 36 code units
};

// An EFI system partition (100 MiB), a Microsoft reserved partition (16 MiB)
// and a basic data partition up to the last 1 MiB boundary before the last
// usable LBA, each starting on a 1 MiB boundary, with their standard names.
// Throws std::invalid_argument when the disk is too small for them.
std::vector<GptPartition> StandardPartitions(std::uint32_t logicalSectorSize, std::uint64_t virtualDiskSize);

// One BAT entry: its index in the BAT (sector bitmap entries counted), its
// state and the file offset it holds (a multiple of 1 MiB).
struct BatEntry {
  std::uint64_t index = 0;
  std::uint8_t state = 0;
  std::uint64_t fileOffset = 0;
};

// BAT entry states.
inline constexpr std::uint8_t kBlockNotPresent = 0;
inline constexpr std::uint8_t kBlockFullyPresent = 6;
inline constexpr std::uint8_t kBlockPartiallyPresent = 7;

// Everything that a built image holds. A default-constructed description is
// the sample image: keep its parts or change the ones a test is about.
struct ImageDescription {
  // File identifier and headers.
  std::string signature = "vhdxfile";                                   // 8 ASCII bytes; "vhdx.twb" is also accepted
  std::u16string creator = u"Tallowbridge Technology Corporation 1.0";  // + 0x0000
  std::uint64_t header1SequenceNumber = 1;                              // header 2 is current by default
  std::uint64_t header2SequenceNumber = 2;
  Guid fileWriteGuid = GuidFromString("3E1A5C07-91B4-4F2D-A86E-0C5D2B7F4E19");
  Guid dataWriteGuid = GuidFromString("B72D40E6-5A13-4C8F-9E21-D4F06A3B8C57");
  Guid logGuid{};  // zero: no log to replay
  std::uint16_t logVersion = 0;
  std::uint16_t version = 1;
  std::uint32_t logLength = 1 * kMiB;
  std::uint64_t logOffset = 1 * kMiB;

  // Standard metadata items.
  std::uint32_t blockSize = 32 * kMiB;
  std::uint32_t logicalSectorSize = 512;  // also the sector size S of the partition tables
  std::uint32_t physicalSectorSize = 4096;
  std::uint64_t virtualDiskSize = 1 * kGiB;
  Guid page83Data = GuidFromString("5F0C9D84-2B6E-4A71-B3C8-7E94A1D05F26");
  std::uint32_t pluginItemFlags = 0;  // not required, so standard readers skip it
  // false: a VHDX without the plugin item (its metadata table lists the five
  // standard items).
  bool pluginItem = true;

  // BAT entries other than "not present"; the file grows to hold every
  // present block (a payload block is blockSize long, a sector bitmap block
  // 1 MiB).
  std::vector<BatEntry> batEntries;

  // Plugin metadata.
  std::uint32_t pluginRevision = 1;
  std::optional<std::int64_t> nVirtualDiskSize;  // default virtualDiskSize - nMbrGptSize
  std::uint32_t cbMaxMetaData = 64 * kKiB;
  std::vector<Volume> volumes = {
      {512, 600 * kMiB, 0, 0, u"D:\\Images\\system.twb"},
      {512, 400 * kMiB, 0, 0, u"D:\\Images\\data-1.twb|D:\\Images\\data-2.twb"},
  };                                              // 0..16 records
  bool gptTrailer = true;                         // false: nGptTrailerLength 0, offset 0
  std::uint64_t gptTrailerDiskOffset = 1 * kMiB;  // data-area offset of the trailer

  // Partition tables: a protective MBR, the primary GPT and the backup GPT.
  std::uint32_t mbrDiskSignature = 0;
  Guid diskGuid = GuidFromString("A4F2C9E1-7D35-4B08-8C6A-1E59D3B07F42");
  // Up to 128 entries. Unset: StandardPartitions for this sector size and disk
  // size, or one basic data partition over the usable LBAs when the disk is
  // too small for those.
  std::optional<std::vector<GptPartition>> partitions;

  // Supplied partition tables, instead of the generated ones: the bytes of a
  // raw disk's first sectors (MBR and primary GPT; their size becomes
  // nMbrGptSize) and of its last sectors (backup entries and backup header;
  // their size becomes nGptTrailerLength). See AdoptRawDisk.
  std::optional<std::vector<std::byte>> partitionAreaBytes;
  std::optional<std::vector<std::byte>> trailerBytes;
};

// File offsets of every structure of a built image.
struct Layout {
  std::uint32_t sectorSize = 0;   // S, the logical sector size
  std::uint64_t diskSectors = 0;  // N, virtualDiskSize / S

  std::uint64_t fileIdentifier = 0;
  std::array<std::uint64_t, 2> headers{};       // header 1, header 2
  std::array<std::uint64_t, 2> regionTables{};  // copy 1, copy 2
  std::uint64_t log = 0;
  std::uint64_t logLength = 0;
  std::uint64_t metadataRegion = 0;
  std::uint64_t metadataRegionLength = 0;
  std::uint64_t batRegion = 0;
  std::uint64_t batRegionLength = 0;
  std::uint64_t dataArea = 0;  // batRegion + batRegionLength

  std::array<std::uint64_t, 6> metadataItems{};  // by MetadataItem position
  std::uint64_t pluginItem = 0;                  // == metadataItems[kPluginItem]
  std::uint32_t pluginItemLength = 0;            // cbTotalMetaData
  std::vector<std::uint64_t> volumeRecords;      // one per volume

  std::uint64_t partitionArea = 0;      // data-area offset 0
  std::uint64_t partitionAreaSize = 0;  // nMbrGptSize
  std::uint64_t mbr = 0;
  std::uint64_t primaryGptHeader = 0;   // partitionArea + S
  std::uint64_t primaryGptEntries = 0;  // partitionArea + 2 * S

  bool hasTrailer = false;
  std::uint64_t trailerDiskOffset = 0;  // nGptTrailerDiskOffset (a data-area offset)
  std::uint64_t trailer = 0;            // dataArea + trailerDiskOffset
  std::uint64_t trailerLength = 0;      // nGptTrailerLength
  std::uint64_t backupGptEntries = 0;   // trailer + 0
  std::uint64_t backupGptHeader = 0;    // trailer + 16384

  std::uint64_t fileSize = 0;

  std::uint64_t header(int which) const;      // 1 or 2
  std::uint64_t regionTable(int copy) const;  // 1 or 2
  std::uint64_t metadataEntry(int index) const { return metadataRegion + MetadataEntry(index, {0, 0}).offset; }
  std::uint64_t batEntry(std::uint64_t index) const { return batRegion + 8 * index; }
  // Where a present block may start: the first 1 MiB boundary after the
  // structures of the sample (the plugin's data area is not a block).
  std::uint64_t firstFreeBlockOffset = 0;
};

enum class GptCopy { kPrimary, kBackup };

// A value for a field: an integer (written little-endian in the field's
// width, which must hold it; negative values in two's complement), a GUID
// (16-byte fields), or text (ASCII for a char string, UTF-16LE for a char16_t
// string), zero-padded to the field's width.
class FieldValue {
 public:
  template <std::integral T>
  FieldValue(T value) : value_(static_cast<std::uint64_t>(value)) {  // NOLINT
    if constexpr (std::is_signed_v<T>) negative_ = value < 0;
  }
  FieldValue(const Guid& guid) : value_(guid) {}                            // NOLINT
  FieldValue(const char* ascii) : value_(std::string(ascii)) {}             // NOLINT
  FieldValue(std::string_view ascii) : value_(std::string(ascii)) {}        // NOLINT
  FieldValue(const std::string& ascii) : value_(ascii) {}                   // NOLINT
  FieldValue(const char16_t* utf16) : value_(std::u16string(utf16)) {}      // NOLINT
  FieldValue(std::u16string_view utf16) : value_(std::u16string(utf16)) {}  // NOLINT
  FieldValue(const std::u16string& utf16) : value_(utf16) {}                // NOLINT

  // The bytes of the value for a field of `width` bytes; throws
  // std::invalid_argument when it does not fit.
  std::vector<std::byte> Encode(std::uint32_t width) const;

 private:
  std::variant<std::uint64_t, Guid, std::string, std::u16string> value_;
  bool negative_ = false;
};

// The bytes of one image plus where each structure lies.
class PluginImage {
 public:
  // Throws std::invalid_argument for a description that cannot be laid out
  // (more than 16 volumes, a name or file list that does not fit, a partition
  // outside the usable LBAs, a sector size that is not a power of two ...).
  static PluginImage Build(const ImageDescription& description);

  std::vector<std::byte>& bytes() { return bytes_; }
  const std::vector<std::byte>& bytes() const { return bytes_; }
  const Layout& layout() const { return layout_; }
  // The description as built, with `partitions` filled in when it was unset.
  const ImageDescription& description() const { return description_; }

  // Raw writes at a file offset; the image grows with zeros when a write
  // reaches beyond its end. Nothing is recomputed.
  void Put8(std::uint64_t at, std::uint8_t value);
  void Put16(std::uint64_t at, std::uint16_t value);
  void Put32(std::uint64_t at, std::uint32_t value);
  void Put64(std::uint64_t at, std::uint64_t value);
  void PutBytes(std::uint64_t at, std::span<const std::byte> bytes);
  // Writes `value` into `field` of the record at file offset `record`.
  void Put(std::uint64_t record, Field field, const FieldValue& value);
  // Reads `field` (at most 8 bytes wide) of the record at `record`.
  std::uint64_t Get(std::uint64_t record, Field field) const;
  std::span<const std::byte> View(std::uint64_t at, std::uint64_t length) const;

  // Recompute a checksum after a change.
  void FixHeaderChecksum(int header);     // 1 or 2
  void FixRegionTableChecksum(int copy);  // 1 or 2
  void FixGptHeaderChecksum(GptCopy copy);
  void FixGptEntryArrayChecksum(GptCopy copy);  // then the header's checksum too
  void FixGptChecksums();                       // both copies that exist, arrays first

  // One-line changes of one field, each keeping valid the checksum that
  // would otherwise report the change first.
  void PutInFileIdentifier(Field field, const FieldValue& value);
  void PutInHeader(int header, Field field, const FieldValue& value);
  void PutInRegionTable(int copy, Field field, const FieldValue& value);
  void PutInRegionTables(Field field, const FieldValue& value);    // both copies
  void PutInMetadataRegion(Field field, const FieldValue& value);  // e.g. MetadataEntry(5, ...)
  void PutInMetadataItem(MetadataItem item, Field field, const FieldValue& value);
  void PutInPluginItem(Field field, const FieldValue& value);  // e.g. PluginEntry(0, ...)
  void PutInVolume(int volume, Field field, const FieldValue& value);
  void PutInMbr(Field field, const FieldValue& value);  // e.g. MbrRecord(0, ...)
  void PutInGptHeader(GptCopy copy, Field field, const FieldValue& value);
  void PutInGptEntry(GptCopy copy, int entry, Field field, const FieldValue& value);
  // Writes BAT entry `index` with `state` and `fileOffset` (which should be
  // a multiple of 1 MiB; its low 20 bits are dropped); the file does not
  // grow.
  void PutBatEntry(std::uint64_t index, std::uint8_t state, std::uint64_t fileOffset);

  // Writes the image as a sparse file: all-zero 64 KiB chunks are skipped and
  // the file is then sized to bytes().size(). Throws std::runtime_error.
  void WriteTo(const std::string& path) const;

 private:
  std::vector<std::byte> bytes_;
  Layout layout_;
  ImageDescription description_;
};

// Writes the disk that the image's partition tables describe as a sparse raw
// file of N sectors: the partition-table area at offset 0 and the trailer in
// the last sectors. Throws std::logic_error for an image without a trailer.
void WriteRawDisk(const PluginImage& image, const std::string& path);

// Takes the partition tables of a raw disk file into `description`, using its
// logicalSectorSize S: LBA 0 up to the end of the primary entry array
// (2 * S + 16384 rounded up to S, LBA 0..33 at 512-byte sectors) becomes the
// partition-table area, the last 16384 + S bytes the trailer, and the file's
// size the virtual disk size. Turns the trailer on.
void AdoptRawDisk(ImageDescription& description, const std::string& rawDiskPath);

// The size of the partition-table area for sector size S: 2 * S + 16384
// rounded up to a multiple of S (0x4400 at 512, 0x6000 at 4096).
constexpr std::uint64_t MbrGptSize(std::uint32_t sectorSize) {
  const std::uint64_t bytes = 2ull * sectorSize + kGptEntryArraySize;
  return (bytes + sectorSize - 1) / sectorSize * sectorSize;
}

// The length of the GPT trailer for sector size S: 16384 + S.
constexpr std::uint64_t GptTrailerLength(std::uint32_t sectorSize) {
  return kGptEntryArraySize + std::uint64_t{sectorSize};
}

}  // namespace testsupport
