#include "hostile_corpus.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <limits>
#include <optional>
#include <stdexcept>
#include <utility>

#include "e2e/expected_text.h"
#include "support/plugin_image.h"

namespace hostile {
namespace {

using namespace testsupport;
namespace fs = std::filesystem;

// The metadata region as the tool reads it, and where the plugin item of a
// built image lies in it.
constexpr std::uint64_t kMetadataBuffer = 2 * kMiB;
constexpr std::uint64_t kPluginItemInRegion = 0x20000;
constexpr std::uint64_t kVolumeFixedBytes = 66;
constexpr std::int64_t kInt64Max = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kInt64Min = std::numeric_limits<std::int64_t>::min();

using Damage = std::function<void(PluginImage&)>;
using CutAt = std::function<std::uint64_t(const Layout&)>;

// Writes the image of `description` changed by `damage`, cut to the length
// that `cutAt` gives when it is set.
std::function<void(const fs::path&)> Image(Damage damage, CutAt cutAt = {}, ImageDescription description = {}) {
  return [=](const fs::path& path) {
    PluginImage image = PluginImage::Build(description);
    if (damage) damage(image);
    image.WriteTo(path.string());
    if (cutAt) fs::resize_file(path, cutAt(image.layout()));
  };
}

std::function<void(const fs::path&)> Cut(CutAt cutAt) { return Image({}, std::move(cutAt)); }

CutAt At(std::uint64_t length) {
  return [length](const Layout&) { return length; };
}

// The same line of a stage failure, the whole output.
Expected Fails(const std::string& line) {
  Expected e;
  e.whole = line + "\n" + kException;
  return e;
}

// A fault found after the report: the size lines or a positioned read.
Expected FailsAfterReport(const std::string& line, std::vector<std::string> contains = {}) {
  Expected e;
  e.diagnostic = line;
  e.contains = std::move(contains);
  return e;
}

Expected Accepted(std::vector<std::string> contains = {}, std::string tail = {}) {
  Expected e;
  e.contains = std::move(contains);
  e.tail = std::move(tail);
  return e;
}

std::string Attempted(std::uint64_t bytesRead) {
  return "Attemped to read 1048576 bytes, but " + std::to_string(bytesRead) + " were read.";
}

std::string SizeLimits(const std::string& field, const std::string& value, const std::string& minimum) {
  return "PLUGIN_VHDX_METADATA->" + field + " is: " + value + " " + field + " should be between " + minimum +
         " and 0x4000000";
}

// The checks of a GPT header that is all zeros (read past the end of the
// image), up to its stored checksum.
std::string ZeroHeaderChecks(const std::string& heading) {
  return heading +
         "\n"
         "\tSignature is invalid.  \n"
         "\tRevision is invalid.  \n"
         "\tHeaderSize is invalid.  \n"
         "\tNumberOfPartitionEntries is invalid.  \n"
         "\tSizeOfPartitionEntry is invalid.  \n"
         "\tHeaderCRC32 is invalid.  \n"
         "\t\tHeader value:     0\n";
}

// An all-zero GPT header as the header report prints it.
const std::string kZeroHeaderReport =
    "\nEFI Header \n\n"
    "\tSignature:                  \n"
    "\tRevision:                   0\n"
    "\tHeaderSize:                 0\n"
    "\tHeaderCRC32:                0\n"
    "\tMyLBA:                      0\n"
    "\tAlternateLBA:               0\n"
    "\tFirstUsableLBA:             0\n"
    "\tLastUsableLBA:              0\n"
    "\tPartitionEntryLBA:          0\n"
    "\tNumberOfPartitionEntries:   0\n"
    "\tSizeOfPartitionEntry:       0\n"
    "\tPartitionEntryArrayCRC32:   0\n";

// Both GPTs read as zeros: every header check fails twice, the cross checks
// and the last check compare zeros with zeros.
Expected TablesOfZeros(std::vector<std::string> contains) {
  contains.push_back("GPT EFI Header and partition entries\n" + kZeroHeaderReport +
                     "\nGPT trailer partition entries and EFI Header\n" + kZeroHeaderReport);
  contains.push_back(ZeroHeaderChecks("Verifying the EFI header"));
  contains.push_back(ZeroHeaderChecks("\nVerifying the EFI trailer"));
  return Accepted(std::move(contains), "\nVerifying the EFI LBA entries\n\nVerifying the PartitionEntryArrayCRC32\n");
}

// Sound GPTs: the four headings and nothing else.
const std::string kGptsAgree =
    "\nVerifying the EFI header\n\nVerifying the EFI trailer\n\nVerifying the EFI LBA entries\n"
    "\nVerifying the PartitionEntryArrayCRC32\n";

std::vector<Volume> Volumes(int count) {
  std::vector<Volume> volumes;
  for (int i = 0; i < count; ++i) {
    volumes.push_back({512, static_cast<std::int64_t>((i + 1) * kMiB), 0, 0, u"D:\\Images\\v.twb"});
  }
  return volumes;
}

// The metadata region moved to `far` in the file, which stays sparse.
void MoveMetadataRegion(const fs::path& path, std::uint64_t far) {
  PluginImage image = PluginImage::Build(ImageDescription{});
  image.PutInRegionTables(RegionEntry(1, region_entry_field::kFileOffset), far);
  const auto region = image.View(image.layout().metadataRegion, kMetadataBuffer);
  image.WriteTo(path.string());
  std::fstream file(path, std::ios::binary | std::ios::in | std::ios::out);
  file.seekp(static_cast<std::streamoff>(far));
  file.write(reinterpret_cast<const char*>(region.data()), static_cast<std::streamsize>(region.size()));
  if (!file) throw std::runtime_error("cannot write the far metadata region of " + path.string());
}

void Symlink(const std::string& target, const fs::path& path) { fs::create_symlink(target, path); }

// Leaves a Unix domain socket at `path`.
void BindSocket(const fs::path& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.string().size() >= sizeof address.sun_path)
    throw std::runtime_error("socket path too long: " + path.string());
  std::memcpy(address.sun_path, path.c_str(), path.string().size() + 1);
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  if (fd < 0) throw std::runtime_error("socket failed");
  const int bound = ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  ::close(fd);
  if (bound != 0) throw std::runtime_error("cannot bind a socket at " + path.string());
}

std::vector<Entry> MakeCorpus() {
  std::vector<Entry> corpus;
  const auto add = [&corpus](std::string name, std::function<void(const fs::path&)> write, Expected expected) {
    corpus.push_back({std::move(name) + ".vhdx", std::move(write), std::move(expected)});
  };

  // Truncation at each structure boundary. The sample image: 512-byte
  // sectors, two volumes, a GPT trailer at data-area offset 1 MiB.
  add("truncated-to-0-bytes", Cut(At(0)), Fails(Attempted(0)));
  add("truncated-to-1-byte", Cut(At(1)), Fails(Attempted(1)));
  add("truncated-after-the-file-identifier", Cut(At(64 * kKiB)), Fails(Attempted(64 * kKiB)));
  add("truncated-in-header-1", Cut(At(64 * kKiB + 2048)), Fails(Attempted(64 * kKiB + 2048)));
  add("truncated-in-region-table-2", Cut(At(256 * kKiB + 80)), Fails(Attempted(256 * kKiB + 80)));
  add("truncated-1-byte-short-of-the-header-section", Cut(At(kMiB - 1)), Fails(Attempted(kMiB - 1)));
  add("truncated-after-the-header-section", Cut(At(kMiB)), Fails("Not a valid metadata table header."));
  add("truncated-in-the-metadata-table", Cut([](const Layout& l) { return l.metadataRegion + 100; }),
      Fails("Not a Tolvenar VHDX - the plugin metadata is missing."));
  add("truncated-before-the-metadata-items", Cut([](const Layout& l) { return l.metadataRegion + 0x10000; }),
      Fails("BlockSize is: 0 BlockSize should be 33554432"));
  // Revision and nVirtualDiskSize remain; nMbrGptSize reads as 0, which the
  // virtual size rounds up to, so no warning; cbTotalMetaData reads as 0.
  add("truncated-in-the-plugin-header", Cut([](const Layout& l) { return l.pluginItem + 16; }),
      Fails("table_PLUGIN_VHDX_METADATA->Length is: 5120 PLUGIN_VHDX_METADATA->cbTotalMetaData 0"));
  add("truncated-at-the-second-volume-record", Cut([](const Layout& l) { return l.volumeRecords[1]; }),
      Fails("pTwbMetaData->MySize is: 0 entry_PLUGIN_VHDX_METADATA->MetaData[ i ].cbSize is 512"));
  add("truncated-at-the-data-area", Cut([](const Layout& l) { return l.dataArea; }),
      TablesOfZeros({"GPT Header size:    0x4400\n", "\tDiskSignature:  0\n"}));
  {
    Expected e =
        Accepted({"GPT EFI Header and partition entries\n\nEFI Header \n\n\tSignature:                  EFI PART\n",
                  "\tGPT Partition Entry 1\n", "Verifying the EFI header\n\tPartitionEntryArrayCRC32 is invalid.  \n",
                  ZeroHeaderChecks("\nVerifying the EFI trailer")});
    e.absent = {"\tGPT Partition Entry 2\n"};
    add("truncated-after-the-first-partition-entry",
        Cut([](const Layout& l) { return l.primaryGptEntries + kGptEntrySize; }), e);
  }
  add("truncated-before-the-backup-header", Cut([](const Layout& l) { return l.backupGptHeader; }),
      Accepted({"GPT trailer partition entries and EFI Header\n\n\tGPT Partition Entry 1\n",
                ZeroHeaderChecks("\nVerifying the EFI trailer"),
                "\tpEfiHeader->MyLBA is invalid.  \n\t\tHeader value:     0x1\n\t\tTrailer value:    0\n"}));

  // Metadata table offsets at and past the 2 MiB buffer, 32-bit wrap-around.
  const auto itemOffset = [](int item, std::uint32_t offset) -> Damage {
    return [=](PluginImage& i) { i.PutInMetadataRegion(MetadataEntry(item, metadata_entry_field::kOffset), offset); };
  };
  add("file-parameters-offset-wraps-32-bits", Image(itemOffset(kFileParametersItem, 0xFFFFFFFD)),
      Fails("table_FILE_PARAMETERS->Offset is: 4294967293 Offset should be at most 2097148"));
  add("virtual-disk-size-offset-at-the-end-of-the-buffer", Image(itemOffset(kVirtualDiskSizeItem, 2097152)),
      Fails("table_VIRTUAL_DISK_SIZE->Offset is: 2097152 Offset should be at most 2097144"));
  add("physical-sector-size-offset-wraps-32-bits", Image(itemOffset(kPhysicalSectorSizeItem, 0xFFFFFFFF)),
      Fails("table_PHYSICAL_SECTOR_SIZE->Offset is: 4294967295 Offset should be at most 2097148"));
  add("plugin-item-offset-wraps-32-bits", Image(itemOffset(kPluginItem, 0xFFFFFFA0)),
      Fails("table_PLUGIN_VHDX_METADATA->Offset is: 4294967200 Offset should be at most 2096976"));
  // The four standard items in the last bytes of the buffer are read there.
  add("standard-items-in-the-last-bytes-of-the-buffer", Image([](PluginImage& i) {
        const std::uint64_t region = i.layout().metadataRegion;
        const struct {
          int item;
          std::uint64_t at;
          std::uint64_t value;
          int width;
        } items[] = {{kFileParametersItem, kMetadataBuffer - 4, 32 * kMiB, 4},
                     {kVirtualDiskSizeItem, kMetadataBuffer - 16, kGiB, 8},
                     {kLogicalSectorSizeItem, kMetadataBuffer - 20, 512, 4},
                     {kPhysicalSectorSizeItem, kMetadataBuffer - 24, 4096, 4}};
        for (const auto& item : items) {
          i.PutInMetadataRegion(MetadataEntry(item.item, metadata_entry_field::kOffset), item.at);
          if (item.width == 8) {
            i.Put64(region + item.at, item.value);
          } else {
            i.Put32(region + item.at, static_cast<std::uint32_t>(item.value));
          }
        }
      }),
      Accepted({"BlockSize:         0x2000000\nLogicalSectorSize: 0x200\nPhyicalSectorSize: 0x1000\n"
                "VirtualDiskSize:   0x40000000\n"},
               kGptsAgree));
  // The plugin header in the last 176 bytes is read there: zeros, so the
  // virtual size warning (hexadecimal, no prefix) and then the length check.
  add("plugin-item-in-the-last-176-bytes", Image(itemOffset(kPluginItem, 2096976)), [] {
    Expected e;
    e.whole =
        "VIRTUAL_DISK_SIZE->VirtualDiskSize is: 40000000 PLUGIN_VHDX_METADATA->nVirtualDiskSize 0\n"
        "table_PLUGIN_VHDX_METADATA->Length is: 1400 PLUGIN_VHDX_METADATA->cbTotalMetaData 0\n" +
        std::string(kException);
    return e;
  }());
  add("plugin-item-length-4-GiB", Image([](PluginImage& i) {
        i.PutInMetadataRegion(MetadataEntry(kPluginItem, metadata_entry_field::kLength), 0xFFFFFFFFu);
        i.PutInPluginItem(plugin_field::kTotalMetaData, 0xFFFFFFFFu);
      }),
      Fails("table_PLUGIN_VHDX_METADATA->Length is: 4294967295 TotalPluginMetadataSize 5120"));
  {
    // 4096 + 0xFFFFF200 wraps to 0x200 in 32 bits, and that is what the item
    // says it holds.
    ImageDescription one;
    one.volumes = Volumes(1);
    add("plugin-total-wraps-32-bits",
        Image(
            [](PluginImage& i) {
              i.PutInPluginItem(PluginEntry(0, plugin_entry_field::kSize), 0xFFFFF200u);
              i.PutInVolume(0, volume_field::kMySize, 0xFFFFF200u);
              i.PutInPluginItem(plugin_field::kTotalMetaData, 0x200);
              i.PutInMetadataRegion(MetadataEntry(kPluginItem, metadata_entry_field::kLength), 0x200);
            },
            {}, one),
        Accepted({"cbTotalMetaData:       0x200\n", "\tcbSize:           0xfffff200\n",
                  "\t\tMySize:           0xfffff200\n"},
                 kGptsAgree));
  }

  // Volume records at the end of the buffer, and a file list without end.
  const auto recordAt = [](std::uint64_t inRegion, std::uint32_t mySize) -> Damage {
    return [=](PluginImage& i) {
      i.PutInPluginItem(PluginEntry(0, plugin_entry_field::kMetaDataOffset),
                        static_cast<std::uint32_t>(inRegion - kPluginItemInRegion));
      i.Put32(i.layout().metadataRegion + inRegion, mySize);
    };
  };
  add("volume-record-in-the-last-66-bytes", Image(recordAt(kMetadataBuffer - kVolumeFixedBytes, 512)),
      Fails("pTwbMetaData->ImageFileList is not terminated inside the metadata region."));
  add("volume-record-in-the-last-68-bytes", Image(recordAt(kMetadataBuffer - kVolumeFixedBytes - 2, 512)),
      Accepted({"=========== Volume 1\n\tcbSize:           0x200\n\tcbMetaDataOffset: 0x1dffbc\n",
                "\t\tMySize:           0x200\n\t\tnVolumeSize:      0\n\t\tcbPassword:       0\n"
                "\t\tcbPasswordOffset: 0\n\t\tcbImageFileList:  0\n"},
               kGptsAgree));
  add("volume-record-offset-wraps-32-bits", Image([](PluginImage& i) {
        i.PutInPluginItem(PluginEntry(0, plugin_entry_field::kMetaDataOffset), 0xFFFFFFFFu);
      }),
      Fails("entry_PLUGIN_VHDX_METADATA->MetaData[ i ].cbMetaDataOffset is: 4294967295 Offset should be at most "
            "1966014"));
  add("image-file-list-without-terminator", Image([](PluginImage& i) {
        const std::uint64_t list = i.layout().volumeRecords[0] + volume_field::kImageFileListOffset;
        const std::uint64_t end = i.layout().metadataRegion + kMetadataBuffer;
        i.PutBytes(list, std::vector<std::byte>(end - list, std::byte{'A'}));
      }),
      Fails("pTwbMetaData->ImageFileList is not terminated inside the metadata region."));
  {
    ImageDescription sixteen;
    sixteen.volumes = Volumes(16);
    Expected e = Accepted({"=========== Volume 1\n", "=========== Volume 16\n\tcbSize:           0x200\n"}, kGptsAgree);
    e.absent = {"=========== Volume 17"};
    add("sixteen-volumes-all-in-use", Image({}, {}, sixteen), e);
  }

  // 64-bit sums: the data area and positions in it.
  const auto batRegion = [](std::uint64_t offset, std::uint32_t length) -> Damage {
    return [=](PluginImage& i) {
      i.PutInRegionTables(RegionEntry(0, region_entry_field::kFileOffset), offset);
      i.PutInRegionTables(RegionEntry(0, region_entry_field::kLength), length);
    };
  };
  const std::string seekFailed = e2e::PositionFailed("{path}", e2e::Base::kHexWithPrefix);
  add("bat-offset-plus-length-wraps-64-bits", Image(batRegion(0xFFFFFFFFFFFFF000u, 0x100000)),
      FailsAfterReport(seekFailed,
                       {"BATOffset:        0xfffffffffffff000\n", "GPT Trailer offset: 0x100000\nSetFilePointerEx"}));
  add("bat-length-4-GiB-puts-the-data-area-past-the-end", Image(batRegion(0x300000, 0xFFFFFFFFu)),
      TablesOfZeros({"BATLength:        0xffffffff\n"}));
  const auto trailerOffset = [](std::int64_t offset) -> Damage {
    return [=](PluginImage& i) { i.PutInPluginItem(plugin_field::kGptTrailerDiskOffset, offset); };
  };
  add("trailer-offset-negative-wraps-64-bits", Image(trailerOffset(-1)),
      FailsAfterReport(seekFailed,
                       {"GPT Trailer offset: 0xffffffffffffffff\n", "GPT EFI Header and partition entries\n"}));
  add("trailer-offset-most-negative", Image(trailerOffset(kInt64Min)),
      FailsAfterReport(seekFailed, {"GPT Trailer offset: 0x8000000000000000\n"}));
  add("trailer-offset-2-63-minus-1", Image(trailerOffset(kInt64Max)),
      FailsAfterReport(seekFailed, {"GPT Trailer offset: 0x7fffffffffffffff\n"}));
  add("trailer-offset-past-the-end-of-the-file", Image(trailerOffset(static_cast<std::int64_t>(kGiB))),
      Accepted({"GPT Trailer offset: 0x40000000\n",
                "GPT trailer partition entries and EFI Header\n" + kZeroHeaderReport,
                ZeroHeaderChecks("\nVerifying the EFI trailer"),
                "Verifying the PartitionEntryArrayCRC32\n\tpEfiHeader->PartitionEntryArrayCRC32 is invalid.  \n"}));
  add("trailer-offset-0", Image(trailerOffset(0)), Fails("table_PLUGIN_VHDX_METADATA->nGptTrailerDiskOffset is: 0"));

  // Sizes of the partition-table area and the trailer: zero, negative, huge.
  const auto areaSize = [](std::int64_t size) -> Damage {
    return [=](PluginImage& i) { i.PutInPluginItem(plugin_field::kMbrGptSize, size); };
  };
  const auto trailerLength = [](std::int64_t length) -> Damage {
    return [=](PluginImage& i) { i.PutInPluginItem(plugin_field::kGptTrailerLength, length); };
  };
  add("partition-area-size-0", Image(areaSize(0)), Fails("table_PLUGIN_VHDX_METADATA->nMbrGptSize is: 0"));
  add("partition-area-size-negative", Image(areaSize(-1)),
      FailsAfterReport(SizeLimits("nMbrGptSize", "0xffffffffffffffff", "0x4400"),
                       {"GPT Header size:    0xffffffffffffffff\n"}));
  add("partition-area-size-2-63-minus-1", Image(areaSize(kInt64Max)),
      FailsAfterReport(SizeLimits("nMbrGptSize", "0x7fffffffffffffff", "0x4400")));
  add("trailer-length-negative", Image(trailerLength(-1)),
      FailsAfterReport(SizeLimits("nGptTrailerLength", "0xffffffffffffffff", "0x405c")));
  add("trailer-length-2-63-minus-1", Image(trailerLength(kInt64Max)),
      FailsAfterReport(SizeLimits("nGptTrailerLength", "0x7fffffffffffffff", "0x405c")));
  {
    Expected e = Accepted({"nGptTrailerLength:     0\nnGptTrailerDiskOffset: 0x100000\n"});
    e.absent = {"GPT Header size:", "MBR Table"};
    add("trailer-length-0", Image(trailerLength(0)), e);
  }
  {
    // The largest sizes taken: both buffers of 64 MiB, read past the end of
    // the image, so the rest of each is zeros and the tables print as stored.
    // (nVirtualDiskSize follows, so that there is no virtual size warning.)
    Expected e = Accepted({"GPT Header size:    0x4000000\nGPT Trailer size:   0x4000000\n"}, kGptsAgree);
    e.partitionBuffers = 2 * 64 * kMiB;
    add("partition-area-and-trailer-64-MiB-each", Image([areaSize, trailerLength](PluginImage& i) {
          areaSize(64 * kMiB)(i);
          trailerLength(64 * kMiB)(i);
          i.PutInPluginItem(plugin_field::kVirtualDiskSize, kGiB - 64 * kMiB);
        }),
        e);
  }

  // Where the metadata region lies.
  const auto metadataOffset = [](std::uint64_t offset) -> Damage {
    return [=](PluginImage& i) { i.PutInRegionTables(RegionEntry(1, region_entry_field::kFileOffset), offset); };
  };
  add("metadata-region-past-the-end-of-the-file", Image(metadataOffset(1024 * kGiB)),
      Fails("Not a valid metadata table header."));
  add("metadata-region-at-2-63", Image(metadataOffset(0x8000000000000000u)),
      Fails(e2e::PositionFailed("{path}", e2e::Base::kDecimal)));
  add(
      "metadata-region-at-3-GiB-in-a-sparse-file", [](const fs::path& path) { MoveMetadataRegion(path, 3 * kGiB); },
      Accepted({"MetadataOffset:   0xc0000000\n", "=========== Volume 2\n"}, kGptsAgree));

  // Paths that are not image files.
  add(
      "fifo",
      [](const fs::path& path) {
        if (::mkfifo(path.c_str(), 0644) != 0) throw std::runtime_error("mkfifo failed: " + path.string());
      },
      Fails("CreateFile failed with status 22 for file: {path}"));
  add(
      "socket", [](const fs::path& path) { BindSocket(path); },
      Fails("CreateFile failed with status 6 for file: {path}"));
  add(
      "dev-zero-through-a-symlink", [](const fs::path& path) { Symlink("/dev/zero", path); },
      Fails("CreateFile failed with status 22 for file: {path}"));
  {
    // A directory named like an image, with an image inside it that a
    // directory scan must not reach.
    Expected e = Fails(e2e::OpenFailed(e2e::Failure::kFolder, "{path}"));
    e.skippedByDirectoryScan = true;
    add(
        "directory",
        [](const fs::path& path) {
          fs::create_directory(path);
          PluginImage::Build(ImageDescription{}).WriteTo((path / "inner.vhdx").string());
        },
        e);
  }
  {
    Expected e = Fails("CreateFile failed with status 40 for file: {path}");
    e.directoryScanLine = "{path} cannot be examined: Too many levels of symbolic links\n";
    add(
        "symlink-loop", [](const fs::path& path) { Symlink(path.filename().string(), path); }, e);
  }
  add(
      "dangling-symlink", [](const fs::path& path) { Symlink("no-such-image", path); },
      Fails("CreateFile failed with status 2 for file: {path}"));
  return corpus;
}

}  // namespace

const std::vector<Entry>& Corpus() {
  static const std::vector<Entry> corpus = MakeCorpus();
  return corpus;
}

void WriteCorpus(const fs::path& directory) {
  for (const Entry& entry : Corpus()) {
    const fs::path path = directory / entry.name;
    entry.write(path);
    if (e2e::WindowsProgramUnderTest() && e2e::IsPosixOnlyFileType(path)) fs::remove(path);
  }
}

std::string WithPath(std::string text, const std::string& path) {
  static const std::string placeholder = "{path}";
  for (std::size_t at = text.find(placeholder); at != std::string::npos;
       at = text.find(placeholder, at + path.size())) {
    text.replace(at, placeholder.size(), path);
  }
  return text;
}

}  // namespace hostile
