// The text that vhdx-inspect documents for the partition tables of an image,
// written from the report's labels and from the values a test put in the image.
//
// Every piece is plain data that a test can change before rendering it:
//
//   PartitionTablesText expected = ExpectedTablesOf(image, partitions);
//   expected.verification.trailer = HeaderCheckFailed("Signature is invalid.  ");
//   EXPECT_EQ(AfterContainerReport(run.out), expected.Render());
//
// Numbers follow the number base that the documented output leaves in force:
// from the three size lines on, hexadecimal with the prefix ("0x1f", zero as
// "0"). The container report itself and Hex, Corrupt come from expected_text.h.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "expected_text.h"
#include "run_tool.h"
#include "support/checksums.h"
#include "support/plugin_image.h"

namespace e2e {

inline std::string Dec(std::uint64_t value) { return std::to_string(value); }

// ---------------------------------------------------------------------------
// The three size lines.

inline std::string SizeLines(std::uint64_t areaSize, std::uint64_t trailerLength, std::uint64_t trailerOffset) {
  return "GPT Header size:    " + Hex(areaSize) + "\n" + "GPT Trailer size:   " + Hex(trailerLength) + "\n" +
         "GPT Trailer offset: " + Hex(trailerOffset) + "\n";
}

// ---------------------------------------------------------------------------
// MBR report.

struct MbrRecordText {
  bool bootable = false;
  std::uint64_t startHead = 0, startCylinder = 0, startSector = 0, type = 0;
  std::uint64_t endHead = 0, endCylinder = 0, endSector = 0, sectorOffset = 0, sectorCount = 0;
};

// The protective record: status 0, CHS 00 02 00 to FF FF FF, type 0xEE, LBA 1.
inline MbrRecordText ProtectiveRecord(std::uint64_t diskSectors) {
  return {false, 0, 0, 2, 0xee, 0xff, 0x3ff, 0x3f, 1, std::min<std::uint64_t>(diskSectors - 1, 0xffffffff)};
}

inline std::string MbrReport(std::uint32_t diskSignature, const std::array<MbrRecordText, 4>& records) {
  std::string t = "\nMBR Table \n\n";
  t += "\tDiskSignature:  " + Hex(diskSignature) + "\n";
  for (std::size_t n = 1; n <= 4; ++n) {
    const MbrRecordText& r = records[n - 1];
    t += "\n\tPartition  " + Hex(n) + "\n\n";
    t += std::string("\t\tBootable:       ") + (r.bootable ? "true" : "false") + "\n";
    t += "\t\tStartHead:      " + Hex(r.startHead) + "\n";
    t += "\t\tStartCylinder:  " + Hex(r.startCylinder) + "\n";
    t += "\t\tStartSector:    " + Hex(r.startSector) + "\n";
    t += "\t\tType:           " + Hex(r.type) + "\n";
    t += "\t\tEndHead:        " + Hex(r.endHead) + "\n";
    t += "\t\tEndCylinder:    " + Hex(r.endCylinder) + "\n";
    t += "\t\tEndSector:      " + Hex(r.endSector) + "\n";
    t += "\t\tSectorOffset:   " + Hex(r.sectorOffset) + "\n";
    t += "\t\tSectorCount:    " + Hex(r.sectorCount) + "\n";
  }
  return t;
}

// ---------------------------------------------------------------------------
// GPT header and entry reports.

struct GptHeaderText {
  std::string signature = "EFI PART";
  std::uint64_t revision = 0x10000, headerSize = 92, headerCrc32 = 0;
  std::uint64_t myLba = 0, alternateLba = 0, firstUsableLba = 0, lastUsableLba = 0, partitionEntryLba = 0;
  std::uint64_t numberOfPartitionEntries = 128, sizeOfPartitionEntry = 128, partitionEntryArrayCrc32 = 0;
};

// The header that the test support wrote at file offset `at`, field by field.
inline GptHeaderText GptHeaderAt(const testsupport::PluginImage& image, std::uint64_t at) {
  using namespace testsupport::gpt_header_field;
  const auto field = [&](testsupport::Field f) { return image.Get(at, f); };
  std::string signature;
  for (std::uint64_t i = 0; i < kSignature.width; ++i) {
    const auto c = std::to_integer<char>(image.View(at + i, 1)[0]);
    if (c == 0) break;
    signature.push_back(c);
  }
  return {signature,
          field(kRevision),
          field(kHeaderSize),
          field(kHeaderCrc32),
          field(kMyLba),
          field(kAlternateLba),
          field(kFirstUsableLba),
          field(kLastUsableLba),
          field(kPartitionEntryLba),
          field(kNumberOfPartitionEntries),
          field(kSizeOfPartitionEntry),
          field(kPartitionEntryArrayCrc32)};
}

inline std::string EfiHeaderReport(const GptHeaderText& h) {
  std::string t = "\nEFI Header \n\n";
  t += "\tSignature:                  " + h.signature + "\n";
  t += "\tRevision:                   " + Hex(h.revision) + "\n";
  t += "\tHeaderSize:                 " + Hex(h.headerSize) + "\n";
  t += "\tHeaderCRC32:                " + Hex(h.headerCrc32) + "\n";
  t += "\tMyLBA:                      " + Hex(h.myLba) + "\n";
  t += "\tAlternateLBA:               " + Hex(h.alternateLba) + "\n";
  t += "\tFirstUsableLBA:             " + Hex(h.firstUsableLba) + "\n";
  t += "\tLastUsableLBA:              " + Hex(h.lastUsableLba) + "\n";
  t += "\tPartitionEntryLBA:          " + Hex(h.partitionEntryLba) + "\n";
  t += "\tNumberOfPartitionEntries:   " + Hex(h.numberOfPartitionEntries) + "\n";
  t += "\tSizeOfPartitionEntry:       " + Hex(h.sizeOfPartitionEntry) + "\n";
  t += "\tPartitionEntryArrayCRC32:   " + Hex(h.partitionEntryArrayCrc32) + "\n";
  return t;
}

struct EntryText {
  std::string type;  // the printed type text
  std::uint64_t firstLba = 0, lastLba = 0, attributes = 0;
  std::string name;  // the converted name, one byte per code unit
  bool invalidName = false;
};

// The printed type text for a type GUID: the three types the report knows.
inline std::string TypeText(const testsupport::Guid& type) {
  if (type == testsupport::kBasicDataPartitionType) return "Data partition";
  if (type == testsupport::kMicrosoftReservedPartitionType) return "Microsoft reserved partition";
  if (type == testsupport::kEfiSystemPartitionType) return "EFI system partition";
  return "Unknown partition type";
}

// The name of a partition whose code units are all from 1 to 0xFF, one byte each.
inline std::string Latin1(const std::u16string& name) {
  std::string bytes;
  for (const char16_t unit : name) bytes.push_back(static_cast<char>(unit));
  return bytes;
}

// An entry that the test wrote, with a name that passes the name check.
inline EntryText EntryOf(const testsupport::GptPartition& p) {
  return {TypeText(p.type), p.firstLba, p.lastLba, p.attributes, Latin1(p.name), false};
}

inline std::vector<EntryText> EntriesOf(const std::vector<testsupport::GptPartition>& partitions) {
  std::vector<EntryText> entries;
  for (const auto& p : partitions) entries.push_back(EntryOf(p));
  return entries;
}

inline std::string EntriesReport(const std::vector<EntryText>& entries) {
  std::string t;
  for (std::size_t n = 1; n <= entries.size(); ++n) {
    const EntryText& e = entries[n - 1];
    t += "\n\tGPT Partition Entry " + Dec(n) + "\n\n";
    t += "\t\tPartition Type:  " + e.type + "\n";
    t += "\t\tFirstLBA:        " + Hex(e.firstLba) + "\n";
    t += "\t\tLastLBA:         " + Hex(e.lastLba) + "\n";
    t += "\t\tAttributes:      " + Hex(e.attributes) + "\n";
    t += "\t\tPartitionName:   " + e.name + "\n";
    if (e.invalidName) t += "\t\t\tPartitionName is invalid.  \n";
  }
  return t;
}

// ---------------------------------------------------------------------------
// Verification report: the lines under each of the four headings.

struct VerificationText {
  std::string header;         // under "Verifying the EFI header"
  std::string trailer;        // under "Verifying the EFI trailer"
  std::string lbaEntries;     // under "Verifying the EFI LBA entries"
  std::string entryArrayCrc;  // under "Verifying the PartitionEntryArrayCRC32"
};

inline std::string Verification(const VerificationText& v) {
  return "\nVerifying the EFI header\n" + v.header + "\nVerifying the EFI trailer\n" + v.trailer +
         "\nVerifying the EFI LBA entries\n" + v.lbaEntries + "\nVerifying the PartitionEntryArrayCRC32\n" +
         v.entryArrayCrc;
}

// A header check without values ("Signature is invalid.  ").
inline std::string HeaderCheckFailed(const std::string& message) { return "\t" + message + "\n"; }

// A checksum check: the stored field and the computed checksum.
inline std::string ChecksumCheckFailed(const std::string& message, std::uint64_t stored, std::uint64_t calculated) {
  return "\t" + message + "\n" + "\t\tHeader value:     " + Hex(stored) + "\n" +
         "\t\tCalculated value: " + Hex(calculated) + "\n";
}

// A comparison of the primary header with the backup header.
inline std::string CrossCheckFailed(const std::string& message, std::uint64_t primary, std::uint64_t backup) {
  return "\t" + message + "\n" + "\t\tHeader value:     " + Hex(primary) + "\n" +
         "\t\tTrailer value:    " + Hex(backup) + "\n";
}

// CRC-32 (the test support's own) of a GPT header's first 92 bytes with its
// HeaderCRC32 field taken as zero.
inline std::uint32_t HeaderChecksumOf(std::vector<std::byte> header92) {
  std::fill(header92.begin() + 16, header92.begin() + 20, std::byte{0});
  return testsupport::Crc32(header92);
}

inline std::uint32_t HeaderChecksumAt(const testsupport::PluginImage& image, std::uint64_t at) {
  const auto bytes = image.View(at, testsupport::kGptHeaderSize);
  return HeaderChecksumOf(std::vector<std::byte>(bytes.begin(), bytes.end()));
}

inline std::uint32_t EntryArrayChecksumAt(const testsupport::PluginImage& image, std::uint64_t at) {
  return testsupport::Crc32(image.View(at, testsupport::kGptEntryArraySize));
}

// ---------------------------------------------------------------------------
// Everything after the container report of an image with a GPT trailer.

struct PartitionTablesText {
  std::uint64_t areaSize = 0, trailerLength = 0, trailerOffset = 0;
  std::uint32_t diskSignature = 0;
  std::array<MbrRecordText, 4> mbr{};
  GptHeaderText primaryHeader;
  std::vector<EntryText> primaryEntries;
  std::vector<EntryText> backupEntries;
  GptHeaderText backupHeader;
  VerificationText verification;  // all four sections silent by default

  // The size lines, the MBR, the primary GPT, the backup GPT and the verification.
  std::string Render() const {
    return SizeLines(areaSize, trailerLength, trailerOffset) + MbrReport(diskSignature, mbr) + "\n" +
           "GPT EFI Header and partition entries\n" + EfiHeaderReport(primaryHeader) + EntriesReport(primaryEntries) +
           "\n" + "GPT trailer partition entries and EFI Header\n" + EntriesReport(backupEntries) +
           EfiHeaderReport(backupHeader) + Verification(verification);
  }

  // Up to the point where the trailer is read: the size lines and the reports
  // of the partition-table area.
  std::string RenderPartitionTableArea() const {
    return SizeLines(areaSize, trailerLength, trailerOffset) + MbrReport(diskSignature, mbr) + "\n" +
           "GPT EFI Header and partition entries\n" + EfiHeaderReport(primaryHeader) + EntriesReport(primaryEntries);
  }
};

// What an image built with generated partition tables shows: its sizes as the
// plugin item holds them, a protective MBR, the two headers as written, and
// `partitions` (the list the test gave the builder) in both arrays.
inline PartitionTablesText ExpectedTablesOf(const testsupport::PluginImage& image,
                                            const std::vector<testsupport::GptPartition>& partitions) {
  using namespace testsupport;
  const Layout& L = image.layout();
  PartitionTablesText t;
  t.areaSize = image.Get(L.pluginItem, plugin_field::kMbrGptSize);
  t.trailerLength = image.Get(L.pluginItem, plugin_field::kGptTrailerLength);
  t.trailerOffset = image.Get(L.pluginItem, plugin_field::kGptTrailerDiskOffset);
  t.diskSignature = image.description().mbrDiskSignature;
  t.mbr[0] = ProtectiveRecord(L.diskSectors);
  t.primaryHeader = GptHeaderAt(image, L.primaryGptHeader);
  t.primaryEntries = EntriesOf(partitions);
  t.backupEntries = t.primaryEntries;
  t.backupHeader = GptHeaderAt(image, L.backupGptHeader);
  return t;
}

// The output from the first size line on; the whole output when there is none.
inline std::string AfterContainerReport(const std::string& out) {
  const std::size_t at = out.find("\nGPT Header size:    ");
  return at == std::string::npos ? out : out.substr(at + 1);
}

// Writes `image` into `directory` and runs the tool on it in single-file mode.
inline ToolRun InspectImage(const testsupport::PluginImage& image, const ScratchDirectory& directory,
                            const std::string& name = "image.vhdx") {
  const std::string path = directory / name;
  image.WriteTo(path);
  return RunTool({"-f", path});
}

// Sets nMbrGptSize, and nVirtualDiskSize with it so that their sum stays the
// virtual disk size (no virtual size warning).
inline void SetPartitionAreaSize(testsupport::PluginImage& image, std::int64_t size) {
  using namespace testsupport;
  const std::uint64_t virtualSize = image.description().virtualDiskSize - static_cast<std::uint64_t>(size);
  image.PutInPluginItem(plugin_field::kMbrGptSize, size);
  image.PutInPluginItem(plugin_field::kVirtualDiskSize, static_cast<std::int64_t>(virtualSize));
}

}  // namespace e2e
