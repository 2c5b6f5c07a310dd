// The image builder against the published VHDX and GPT rules and the plugin
// item's rules. Offsets here are written from those rules, not taken from the
// builder's field constants, so a wrong constant is caught.
#include "support/plugin_image.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "scratch.h"
#include "support/checksums.h"

namespace {

using namespace testsupport;
using testsupport_test::ScratchPath;
using Bytes = std::vector<std::byte>;

std::uint64_t Le(const Bytes& bytes, std::uint64_t at, int width) {
  std::uint64_t value = 0;
  for (int i = width; i-- > 0;) value = (value << 8) | std::to_integer<std::uint64_t>(bytes.at(at + i));
  return value;
}

Bytes Slice(const Bytes& bytes, std::uint64_t at, std::uint64_t length) {
  return Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(at),
               bytes.begin() + static_cast<std::ptrdiff_t>(at + length));
}

Bytes Hex(std::initializer_list<int> values) {
  Bytes out;
  for (int v : values) out.push_back(static_cast<std::byte>(v));
  return out;
}

Bytes Ascii(std::string_view text) {
  Bytes out;
  for (char c : text) out.push_back(static_cast<std::byte>(c));
  return out;
}

Bytes Utf16(std::u16string_view text) {
  Bytes out;
  for (char16_t c : text) {
    out.push_back(static_cast<std::byte>(c & 0xFF));
    out.push_back(static_cast<std::byte>(c >> 8));
  }
  return out;
}

Bytes LeBytes(std::uint64_t value, int width) {
  Bytes out;
  for (int i = 0; i < width; ++i) out.push_back(static_cast<std::byte>((value >> (8 * i)) & 0xFF));
  return out;
}

// CRC of bytes[at, at + length) with the 4 bytes at `field` taken as zero
// when they lie inside that range.
std::uint32_t CrcWithFieldZero(const Bytes& bytes, std::uint64_t at, std::uint64_t length, std::uint64_t field,
                               bool castagnoli) {
  Bytes copy = Slice(bytes, at, length);
  if (field >= at && field + 4 <= at + length) {
    std::fill_n(copy.begin() + static_cast<std::ptrdiff_t>(field - at), 4, std::byte{0});
  }
  return castagnoli ? Crc32c(copy) : Crc32(copy);
}

const Bytes kBatRegionBytes =
    Hex({0x66, 0x77, 0xC2, 0x2D, 0x23, 0xF6, 0x00, 0x42, 0x9D, 0x64, 0x11, 0x5E, 0x9B, 0xFD, 0x4A, 0x08});
const Bytes kMetadataRegionBytes =
    Hex({0x06, 0xA2, 0x7C, 0x8B, 0x90, 0x47, 0x9A, 0x4B, 0xB8, 0xFE, 0x57, 0x5F, 0x05, 0x0F, 0x88, 0x6E});
const Bytes kPluginItemBytes =
    Hex({0x62, 0x58, 0xF2, 0xE5, 0x33, 0x23, 0xFD, 0x4B, 0x99, 0xE7, 0x4B, 0xE0, 0x54, 0x1E, 0xAF, 0x16});

std::vector<Volume> SixteenVolumes() {
  std::vector<Volume> volumes;
  for (int i = 0; i < 16; ++i) {
    // "V" then i times 'x'.
    std::u16string name(static_cast<std::size_t>(i) + 1, u'x');
    name.front() = u'V';
    volumes.push_back({static_cast<std::uint32_t>(96 + 16 * i), (i + 1) * std::int64_t{1000000},
                       static_cast<std::uint32_t>(i * 3), static_cast<std::uint16_t>(i), name});
  }
  return volumes;
}

struct LayoutCase {
  const char* name;
  std::function<void(ImageDescription&)> change;
  std::uint32_t sectorSize;
  std::uint64_t mbrGptSize;     // nMbrGptSize
  std::uint64_t trailerLength;  // nGptTrailerLength, 0 for none
};

const std::vector<LayoutCase>& LayoutCases() {
  static const std::vector<LayoutCase> cases = {
      {"sample", [](ImageDescription&) {}, 512, 0x4400, 0x4200},
      {"4096-byte sectors", [](ImageDescription& d) { d.logicalSectorSize = 4096; }, 4096, 0x6000, 0x5000},
      {"no volumes", [](ImageDescription& d) { d.volumes.clear(); }, 512, 0x4400, 0x4200},
      {"sixteen volumes", [](ImageDescription& d) { d.volumes = SixteenVolumes(); }, 512, 0x4400, 0x4200},
      {"no trailer", [](ImageDescription& d) { d.gptTrailer = false; }, 512, 0x4400, 0},
  };
  return cases;
}

TEST(PluginImage, BuiltImagesFollowTheFormatRules) {
  for (const LayoutCase& c : LayoutCases()) {
    SCOPED_TRACE(c.name);
    ImageDescription d;
    c.change(d);
    const PluginImage image = PluginImage::Build(d);
    const Bytes& b = image.bytes();
    const std::uint32_t S = c.sectorSize;

    // File identifier.
    EXPECT_EQ(Slice(b, 0, 8), Ascii("vhdxfile"));
    EXPECT_EQ(Slice(b, 8, 80), Utf16(std::u16string(u"Tallowbridge Technology Corporation 1.0") + u'\0'));

    // Headers, each with a valid CRC-32C over 4 KiB; header 2 is current.
    for (std::uint64_t h : {0x10000u, 0x20000u}) {
      EXPECT_EQ(Slice(b, h, 4), Ascii("head"));
      EXPECT_EQ(Le(b, h + 4, 4), CrcWithFieldZero(b, h, 4096, h + 4, true));
      EXPECT_EQ(Le(b, h + 66, 2), 1u) << "Version";
    }
    EXPECT_GT(Le(b, 0x20008, 8), Le(b, 0x10008, 8));

    // Region tables: two identical copies, valid CRC-32C over 64 KiB.
    EXPECT_EQ(Slice(b, 0x30000, 0x10000), Slice(b, 0x40000, 0x10000));
    EXPECT_EQ(Slice(b, 0x30000, 4), Ascii("regi"));
    EXPECT_EQ(Le(b, 0x30004, 4), CrcWithFieldZero(b, 0x30000, 0x10000, 0x30004, true));
    EXPECT_EQ(Le(b, 0x30008, 4), 2u);
    EXPECT_EQ(Slice(b, 0x30010, 16), kBatRegionBytes);
    EXPECT_EQ(Slice(b, 0x30030, 16), kMetadataRegionBytes);
    const std::uint64_t dataArea = Le(b, 0x30020, 8) + Le(b, 0x30028, 4);
    const std::uint64_t M = Le(b, 0x30040, 8);
    EXPECT_EQ(M % 0x100000, 0u);

    // Metadata table: six items in the order the tool takes them.
    EXPECT_EQ(Slice(b, M, 8), Ascii("metadata"));
    EXPECT_EQ(Le(b, M + 10, 2), 6u);
    const std::array<Guid, 5> standard = {kFileParametersGuid, kVirtualDiskSizeGuid, kLogicalSectorSizeGuid,
                                          kPhysicalSectorSizeGuid, kPage83DataGuid};
    for (std::size_t i = 0; i < 5; ++i) {
      EXPECT_EQ(Slice(b, M + 32 + 32 * i, 16), FieldValue(standard[i]).Encode(16)) << "entry " << i;
      EXPECT_EQ(Le(b, M + 32 + 32 * i + 24, 4), i == 0 ? 4u : 6u) << "flags of entry " << i;
    }
    EXPECT_EQ(Slice(b, M + 192, 16), kPluginItemBytes);
    EXPECT_EQ(Le(b, M + 192 + 24, 4) & 4u, 0u) << "the plugin item must not be required";
    for (std::uint64_t i = 0; i < 6; ++i) EXPECT_GE(Le(b, M + 32 + 32 * i + 16, 4), 0x10000u);
    const auto item = [&](int i) { return M + Le(b, M + 32 + 32 * static_cast<std::uint64_t>(i) + 16, 4); };
    EXPECT_EQ(Le(b, item(0), 4), 33554432u) << "BlockSize";
    EXPECT_EQ(Le(b, item(1), 8), d.virtualDiskSize);
    EXPECT_EQ(Le(b, item(2), 4), S);
    EXPECT_EQ(Le(b, item(3), 4), 4096u);

    // Plugin item: the table Length, cbTotalMetaData and 4096 + sum of cbSize agree.
    const std::uint64_t P = item(5);
    const std::uint64_t length = Le(b, M + 192 + 20, 4);
    std::uint64_t total = 4096;
    for (const Volume& v : d.volumes) total += v.recordSize;
    EXPECT_EQ(Le(b, P + 172, 4), total) << "cbTotalMetaData";
    EXPECT_EQ(length, total);
    EXPECT_EQ(Le(b, P + 16, 8), c.mbrGptSize) << "nMbrGptSize";
    EXPECT_EQ(Le(b, P + 8, 8) + Le(b, P + 16, 8), d.virtualDiskSize) << "nVirtualDiskSize + nMbrGptSize";
    EXPECT_EQ(Le(b, P + 24, 8), c.trailerLength) << "nGptTrailerLength";
    const std::uint64_t trailerOffset = Le(b, P + 32, 8);
    EXPECT_EQ(trailerOffset != 0, c.trailerLength != 0) << "nGptTrailerDiskOffset";

    // Volume records: MetaData[i] points at a record of cbSize bytes, inside
    // the item, not overlapping another; the list ends with cbSize 0.
    std::set<std::pair<std::uint64_t, std::uint64_t>> records;
    for (std::size_t i = 0; i < d.volumes.size(); ++i) {
      const Volume& v = d.volumes[i];
      const std::uint64_t cbSize = Le(b, P + 40 + 8 * i, 4);
      const std::uint64_t offset = Le(b, P + 44 + 8 * i, 4);
      EXPECT_EQ(cbSize, v.recordSize) << "volume " << i;
      EXPECT_GE(offset, 4096u);
      EXPECT_LE(offset + cbSize, length);
      records.emplace(offset, offset + cbSize);
      const std::uint64_t R = P + offset;
      EXPECT_EQ(Le(b, R, 4), cbSize) << "MySize of volume " << i;
      EXPECT_EQ(Le(b, R + 16, 8), static_cast<std::uint64_t>(v.volumeSize));
      EXPECT_EQ(Le(b, R + 32, 4), v.passwordOffset);
      EXPECT_EQ(Le(b, R + 36, 2), v.passwordSize);
      EXPECT_EQ(Slice(b, R + 66, 2 * v.imageFileList.size() + 2), Utf16(v.imageFileList + u'\0'));
    }
    for (auto it = records.begin(); it != records.end() && std::next(it) != records.end(); ++it) {
      EXPECT_LE(it->second, std::next(it)->first) << "volume records overlap";
    }
    if (d.volumes.size() < 16) {
      EXPECT_EQ(Le(b, P + 40 + 8 * d.volumes.size(), 4), 0u);
    }

    // Partition-table area at data-area offset 0: protective MBR, primary GPT.
    const std::uint64_t N = d.virtualDiskSize / S;
    const std::uint64_t arraySectors = 16384 / S;
    EXPECT_EQ(Slice(b, dataArea + 510, 2), Hex({0x55, 0xAA}));
    Bytes protective = Hex({0x00, 0x00, 0x02, 0x00, 0xEE, 0xFF, 0xFF, 0xFF, 0x01, 0x00, 0x00, 0x00});
    const Bytes sectorCount = LeBytes(N - 1, 4);
    protective.insert(protective.end(), sectorCount.begin(), sectorCount.end());
    EXPECT_EQ(Slice(b, dataArea + 446, 16), protective) << "protective MBR record";
    EXPECT_EQ(Slice(b, dataArea + 462, 48), Bytes(48)) << "MBR records 2 to 4";
    const std::uint64_t primary = dataArea + S;
    EXPECT_EQ(Slice(b, primary, 8), Ascii("EFI PART"));
    EXPECT_EQ(Le(b, primary + 16, 4), CrcWithFieldZero(b, primary, 92, primary + 16, false));
    EXPECT_EQ(Le(b, primary + 88, 4), Crc32(Slice(b, dataArea + 2 * S, 16384)));
    EXPECT_EQ(Le(b, primary + 24, 8), 1u);
    EXPECT_EQ(Le(b, primary + 32, 8), N - 1);
    EXPECT_EQ(Le(b, primary + 40, 8), 2 + arraySectors);
    EXPECT_EQ(Le(b, primary + 48, 8), N - 2 - arraySectors);
    EXPECT_EQ(Le(b, primary + 72, 8), 2u);

    // Trailer: backup entries, then the backup header 16384 bytes in.
    if (c.trailerLength != 0) {
      const std::uint64_t trailer = dataArea + trailerOffset;
      ASSERT_LE(trailer + c.trailerLength, b.size());
      const std::uint64_t backup = trailer + 16384;
      EXPECT_EQ(Slice(b, backup, 8), Ascii("EFI PART"));
      EXPECT_EQ(Le(b, backup + 16, 4), CrcWithFieldZero(b, backup, 92, backup + 16, false));
      EXPECT_EQ(Slice(b, trailer, 16384), Slice(b, dataArea + 2 * S, 16384));
      EXPECT_EQ(Le(b, backup + 88, 4), Le(b, primary + 88, 4));
      EXPECT_EQ(Le(b, backup + 24, 8), N - 1);
      EXPECT_EQ(Le(b, backup + 32, 8), 1u);
      EXPECT_EQ(Le(b, backup + 72, 8), N - 1 - arraySectors);
      EXPECT_EQ(Slice(b, backup + 40, 16), Slice(b, primary + 40, 16)) << "usable LBAs";
    }
  }
}

// Each one-line change writes exactly its field and the checksums that cover
// it, and leaves those checksums valid.
TEST(PluginImage, OneLineChangesKeepTheirChecksumsValid) {
  struct Checksum {
    bool castagnoli;
    std::uint64_t at;  // start of the covered bytes
    std::uint64_t length;
    std::uint64_t storedAt;
  };
  struct Change {
    const char* name;
    std::function<void(PluginImage&)> apply;
    std::vector<std::pair<std::uint64_t, Bytes>> fields;  // file offset, expected bytes
    std::function<std::vector<Checksum>(const Layout&)> checksums;
  };
  const PluginImage original = PluginImage::Build(ImageDescription{});
  const Layout& L = original.layout();
  const auto headerCrc = [](std::uint64_t h) { return Checksum{true, h, 4096, h + 4}; };
  const auto regionCrc = [](std::uint64_t r) { return Checksum{true, r, 65536, r + 4}; };
  const auto gptHeaderCrc = [](std::uint64_t g) { return Checksum{false, g, 92, g + 16}; };
  const std::vector<Change> changes = {
      {"header 1 SequenceNumber",
       [](PluginImage& i) { i.PutInHeader(1, header_field::kSequenceNumber, 9); },
       {{0x10008, LeBytes(9, 8)}},
       [&](const Layout&) { return std::vector{headerCrc(0x10000)}; }},
      {"header 2 signature",
       [](PluginImage& i) { i.PutInHeader(2, header_field::kSignature, "hexd"); },
       {{0x20000, Ascii("hexd")}},
       [&](const Layout&) { return std::vector{headerCrc(0x20000)}; }},
      {"header 2 LogLength",
       [](PluginImage& i) { i.PutInHeader(2, header_field::kLogLength, 0x200000); },
       {{0x20000 + 68, LeBytes(0x200000, 4)}},
       [&](const Layout&) { return std::vector{headerCrc(0x20000)}; }},
      {"region table copy 1, BAT entry GUID",
       [](PluginImage& i) { i.PutInRegionTable(1, RegionEntry(0, region_entry_field::kGuid), kMetadataRegionGuid); },
       {{0x30010, kMetadataRegionBytes}},
       [&](const Layout&) { return std::vector{regionCrc(0x30000)}; }},
      {"both region tables, metadata entry Length",
       [](PluginImage& i) { i.PutInRegionTables(RegionEntry(1, region_entry_field::kLength), 0x300000); },
       {{0x30030 + 24, LeBytes(0x300000, 4)}, {0x40030 + 24, LeBytes(0x300000, 4)}},
       [&](const Layout&) {
         return std::vector{regionCrc(0x30000), regionCrc(0x40000)};
       }},
      {"backup GPT header MyLBA",
       [](PluginImage& i) { i.PutInGptHeader(GptCopy::kBackup, gpt_header_field::kMyLba, 1); },
       {{L.backupGptHeader + 24, LeBytes(1, 8)}},
       [&](const Layout& l) { return std::vector{gptHeaderCrc(l.backupGptHeader)}; }},
      {"primary GPT entry 2 name",
       [](PluginImage& i) { i.PutInGptEntry(GptCopy::kPrimary, 1, gpt_entry_field::kName, u"Other"); },
       {{L.primaryGptEntries + 128 + 56,
         [] {
           Bytes n = Utf16(u"Other");
           n.resize(72);
           return n;
         }()}},
       [&](const Layout& l) {
         return std::vector{Checksum{false, l.primaryGptEntries, 16384, l.primaryGptHeader + 88},
                            gptHeaderCrc(l.primaryGptHeader)};
       }},
      {"plugin MetaData[1].cbSize, covered by no checksum",
       [](PluginImage& i) { i.PutInPluginItem(PluginEntry(1, plugin_entry_field::kSize), 0); },
       {{L.pluginItem + 48, LeBytes(0, 4)}},
       [&](const Layout&) { return std::vector<Checksum>{}; }},
  };
  for (const Change& change : changes) {
    SCOPED_TRACE(change.name);
    PluginImage image = original;
    change.apply(image);
    const Bytes& before = original.bytes();
    const Bytes& after = image.bytes();
    ASSERT_EQ(after.size(), before.size());
    std::set<std::uint64_t> allowed;
    for (const auto& [at, expected] : change.fields) {
      EXPECT_EQ(Slice(after, at, expected.size()), expected);
      for (std::uint64_t i = 0; i < expected.size(); ++i) allowed.insert(at + i);
    }
    for (const Checksum& c : change.checksums(image.layout())) {
      EXPECT_EQ(Le(after, c.storedAt, 4), CrcWithFieldZero(after, c.at, c.length, c.storedAt, c.castagnoli));
      for (std::uint64_t i = 0; i < 4; ++i) allowed.insert(c.storedAt + i);
    }
    for (std::uint64_t i = 0; i < after.size(); ++i) {
      if (before[i] != after[i]) {
        ASSERT_TRUE(allowed.count(i)) << "byte changed at " << i;
      }
    }
    EXPECT_NE(before, after);
  }
}

TEST(PluginImage, FieldValuesMustFitTheirField) {
  struct Case {
    const char* name;
    FieldValue value;
    std::uint32_t width;
    std::optional<Bytes> expected;  // nothing: rejected
  };
  const std::vector<Case> cases = {
      {"largest 16-bit value", 0xFFFF, 2, Hex({0xFF, 0xFF})},
      {"17-bit value in 16 bits", 0x10000, 2, std::nullopt},
      {"-1 in 16 bits", -1, 2, Hex({0xFF, 0xFF})},
      {"-32769 in 16 bits", -32769, 2, std::nullopt},
      {"-2 in 64 bits", std::int64_t{-2}, 8, Hex({0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF})},
      {"integer in a 16-byte field", 5, 16, std::nullopt},
      {"GUID", kBatRegionGuid, 16, kBatRegionBytes},
      {"GUID in an 8-byte field", kBatRegionGuid, 8, std::nullopt},
      {"ASCII, zero-padded", "EFI", 8, Hex({'E', 'F', 'I', 0, 0, 0, 0, 0})},
      {"ASCII too long", "heads", 4, std::nullopt},
      {"UTF-16, zero-padded", u"ab", 6, Hex({'a', 0, 'b', 0, 0, 0})},
      {"UTF-16 too long", u"ab", 3, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.expected) {
      EXPECT_EQ(c.value.Encode(c.width), *c.expected);
    } else {
      EXPECT_THROW(c.value.Encode(c.width), std::invalid_argument);
    }
  }
}

TEST(Guid, RegistryFormBecomesOnDiskLayout) {
  EXPECT_EQ(FieldValue(GuidFromString("2DC27766-F623-4200-9D64-115E9BFD4A08")).Encode(16), kBatRegionBytes);
  EXPECT_EQ(FieldValue(GuidFromString("{e5f25862-2333-4bfd-99e7-4be0541eaf16}")).Encode(16), kPluginItemBytes);
  EXPECT_EQ(FieldValue(kBasicDataPartitionType).Encode(16),
            Hex({0xA2, 0xA0, 0xD0, 0xEB, 0xE5, 0xB9, 0x33, 0x44, 0x87, 0xC0, 0x68, 0xB6, 0xB7, 0x26, 0x99, 0xC7}));
  for (const char* bad : {"2DC27766-F623-4200-9D64-115E9BFD4A0", "2DC27766F623-4200-9D64-115E9BFD4A08-",
                          "2DC27766-F623-4200-9D64-115E9BFD4A0G", "{2DC27766-F623-4200-9D64-115E9BFD4A08"}) {
    EXPECT_THROW(GuidFromString(bad), std::invalid_argument) << bad;
  }
}

// Sets the standard partitions of a 1 GiB disk of 512-byte sectors, with one changed.
void ChangePartition(ImageDescription& d, std::size_t index, const std::function<void(GptPartition&)>& change) {
  std::vector<GptPartition> partitions = StandardPartitions(512, 1 * kGiB);
  change(partitions.at(index));
  d.partitions = partitions;
}

TEST(PluginImage, RejectsDescriptionsItCannotLayOut) {
  const std::vector<std::pair<const char*, std::function<void(ImageDescription&)>>> cases = {
      {"seventeen volumes", [](ImageDescription& d) { d.volumes.resize(17); }},
      {"file list longer than its record",
       [](ImageDescription& d) { d.volumes[0].imageFileList = std::u16string(300, u'x'); }},
      {"partition name of 37 units",
       [](ImageDescription& d) { ChangePartition(d, 0, [](GptPartition& p) { p.name = std::u16string(37, u'n'); }); }},
      {"partition before the first usable LBA",
       [](ImageDescription& d) { ChangePartition(d, 0, [](GptPartition& p) { p.firstLba = 33; }); }},
      {"partition after the last usable LBA",
       [](ImageDescription& d) { ChangePartition(d, 2, [](GptPartition& p) { p.lastLba = 2097119; }); }},
      {"disk too small for a GPT", [](ImageDescription& d) { d.virtualDiskSize = 67 * 512; }},
      {"sector size not a power of two", [](ImageDescription& d) { d.logicalSectorSize = 1000; }},
      {"disk size not whole sectors", [](ImageDescription& d) { d.virtualDiskSize += 100; }},
      {"trailer over the partition-table area", [](ImageDescription& d) { d.gptTrailerDiskOffset = 0x4000; }},
  };
  for (const auto& [name, change] : cases) {
    ImageDescription d;
    change(d);
    EXPECT_THROW(PluginImage::Build(d), std::invalid_argument) << name;
  }
}

Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  Bytes bytes;
  char c;
  while (in.get(c)) bytes.push_back(static_cast<std::byte>(c));
  return bytes;
}

TEST(PluginImage, WritesASparseFileOfTheSameBytes) {
  PluginImage image = PluginImage::Build(ImageDescription{});
  image.Put8(image.bytes().size() - 1, 0x5A);  // the last byte is kept, not only the size
  const std::string path = ScratchPath("sample.vhdx");
  image.WriteTo(path);
  EXPECT_EQ(ReadFile(path), image.bytes());
#ifndef _WIN32
  struct stat st {};
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_LT(static_cast<std::uint64_t>(st.st_blocks) * 512, image.bytes().size() / 2) << "not sparse";
#endif
  std::filesystem::remove(path);
}

// A raw disk written from an image and taken back into a description gives
// the same image again, byte for byte: the partition-table area is LBA 0 up
// to the end of the primary entries and the trailer is the disk's last sectors.
TEST(PluginImage, RawDiskRoundTrip) {
  for (std::uint32_t S : {512u, 4096u}) {
    SCOPED_TRACE(S);
    ImageDescription d;
    d.logicalSectorSize = S;
    const PluginImage image = PluginImage::Build(d);
    const std::string raw = ScratchPath("disk.raw");
    WriteRawDisk(image, raw);
    EXPECT_EQ(std::filesystem::file_size(raw), d.virtualDiskSize);

    ImageDescription adopted;
    adopted.logicalSectorSize = S;
    adopted.virtualDiskSize = 0;
    AdoptRawDisk(adopted, raw);
    EXPECT_EQ(adopted.virtualDiskSize, d.virtualDiskSize);
    EXPECT_EQ(adopted.partitionAreaBytes->size(), S == 512 ? 34u * 512 : 6u * 4096);
    EXPECT_EQ(adopted.trailerBytes->size(), S == 512 ? 33u * 512 : 5u * 4096);
    EXPECT_TRUE(PluginImage::Build(adopted).bytes() == image.bytes());
    std::filesystem::remove(raw);
  }
}

}  // namespace
