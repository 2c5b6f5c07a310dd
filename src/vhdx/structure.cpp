// Every offset, length and count taken from the image is checked before it
// is used (RangeFits, or a comparison that cannot overflow), every buffer is
// capped, and every loop runs over a count the checks bounded first.
#include "vhdx/structure.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>

#include "vhdx/crc32c.h"
#include "vhdx/log_check.h"
#include "vhdx/metadata_records.h"
#include "vhdx/structure_finding.h"

namespace vhdx_inspect::detail::vhdx {
namespace {

using encoding::LoadRecord;
using encoding::RangeFits;
using vhdx_inspect::Severity;
using vhdx_inspect::StructureFinding;

constexpr std::uint64_t kMiB = 1048576;
constexpr std::uint64_t kKiB64 = 65536;
constexpr std::uint32_t kMaxTableEntries = 2047;
constexpr std::uint64_t kMaxVirtualDiskSize = std::uint64_t{64} << 40;
// The bitmap that finds blocks on top of each other covers the file in 1 MiB
// units up to this many (128 TiB, 16 MiB of bitmap); a block past it is
// checked against the regions only.
constexpr std::uint64_t kMaxBitmapUnits = std::uint64_t{1} << 27;

// Metadata items of the format, by GUID as stored.
constexpr Guid kFileParametersGuid{
    {0x37, 0x67, 0xA1, 0xCA, 0x36, 0xFA, 0x43, 0x4D, 0xB3, 0xB6, 0x33, 0xF0, 0xAA, 0x44, 0xE7, 0x6B}};
constexpr Guid kVirtualDiskSizeGuid{
    {0x24, 0x42, 0xA5, 0x2F, 0x1B, 0xCD, 0x76, 0x48, 0xB2, 0x11, 0x5D, 0xBE, 0xD8, 0x3B, 0xF4, 0xB8}};
constexpr Guid kPage83DataGuid{
    {0xAB, 0x12, 0xCA, 0xBE, 0xE6, 0xB2, 0x23, 0x45, 0x93, 0xEF, 0xC3, 0x09, 0xE0, 0x00, 0xC7, 0x46}};
constexpr Guid kLogicalSectorSizeGuid{
    {0x1D, 0xBF, 0x41, 0x81, 0x6F, 0xA9, 0x09, 0x47, 0xBA, 0x47, 0xF2, 0x33, 0xA8, 0xFA, 0xAB, 0x5F}};
constexpr Guid kPhysicalSectorSizeGuid{
    {0xC7, 0x48, 0xA3, 0xCD, 0x5D, 0x44, 0x71, 0x44, 0x9C, 0xC9, 0xE9, 0x88, 0x52, 0x51, 0xC5, 0x56}};
constexpr Guid kParentLocatorGuid{
    {0x2D, 0x5F, 0xD3, 0xA8, 0x0B, 0xB3, 0x4D, 0x45, 0xAB, 0xF7, 0xD3, 0xD8, 0x48, 0x34, 0xAB, 0x0C}};

struct StandardItem {
  const Guid* guid;
  const char* name;
  std::uint32_t size;  // of its value; 0: any
  bool required;       // must be there
};
constexpr StandardItem kStandardItems[] = {
    {&kFileParametersGuid, "File Parameters", 8, true},
    {&kVirtualDiskSizeGuid, "Virtual Disk Size", 8, true},
    {&kPage83DataGuid, "Page 83 Data", 16, true},
    {&kLogicalSectorSizeGuid, "Logical Sector Size", 4, true},
    {&kPhysicalSectorSizeGuid, "Physical Sector Size", 4, true},
    {&kParentLocatorGuid, "Parent Locator", 0, false},
};

std::string Bytes(std::uint64_t value) { return Decimal(value) + (value == 1 ? " byte" : " bytes"); }

std::int64_t Signed(std::uint64_t value) { return static_cast<std::int64_t>(value); }

// The CRC-32C of `structure` with its checksum field read as zero, against
// the stored one; the bytes are not changed.
bool ChecksumMatches(std::span<const std::byte> structure) {
  constexpr std::byte kZero[4]{};
  std::uint32_t crc = ~crc32c(0xFFFFFFFF, structure.data(), kChecksumFieldOffset);
  crc = ~crc32c(crc, kZero, 4);
  const std::size_t rest = kChecksumFieldOffset + 4;
  const std::uint32_t computed =
      crc32c(crc, structure.data() + rest, static_cast<std::uint32_t>(structure.size() - rest));
  const auto stored = LoadRecord<encoding::le_u32>(structure, kChecksumFieldOffset);
  return stored && computed == stored->value();
}

// [offset, offset + length) against [otherOffset, otherOffset + otherLength),
// without overflow: lengths that reach past 2^64 are cut there.
bool Overlap(std::uint64_t offset, std::uint64_t length, std::uint64_t otherOffset, std::uint64_t otherLength) {
  if (length == 0 || otherLength == 0) return false;
  const std::uint64_t end = length > UINT64_MAX - offset ? UINT64_MAX : offset + length;
  const std::uint64_t otherEnd = otherLength > UINT64_MAX - otherOffset ? UINT64_MAX : otherOffset + otherLength;
  return offset < otherEnd && otherOffset < end;
}

std::uint64_t EndOf(std::uint64_t offset, std::uint64_t length) {
  return length > UINT64_MAX - offset ? UINT64_MAX : offset + length;
}

const char* RegionName(const Guid& guid) {
  if (guid == BatRegionGuid) return "the BAT region";
  if (guid == MetadataRegionGuid) return "the metadata region";
  return "a region of another kind";
}

// A named place in the file that no block may touch.
struct Place {
  std::string name;
  std::uint64_t offset;
  std::uint64_t length;
};

}  // namespace

void StructurePass::TakeHeaderSection(std::span<const std::byte, kExaminedHeaderSectionSize> section,
                                      const SectionChecksums& checksums) {
  const auto identifier = LoadRecord<FILE_IDENTIFIER>(section.first<sizeof(FILE_IDENTIFIER)>());
  if (identifier.Signature != kVhdxSignature && identifier.Signature != kVhdxAlternativeSignature) return;
  started_ = true;
  CheckHeaders(section, checksums);
  CheckRegionTables(section, checksums);
}

void StructurePass::CheckHeaders(std::span<const std::byte, kExaminedHeaderSectionSize> section,
                                 const SectionChecksums& checksums) {
  const std::size_t offsets[2] = {kHeader1Offset, kHeader2Offset};
  VHDX_HEADER headers[2];
  bool valid[2];
  for (std::size_t i = 0; i < 2; ++i) {
    const std::span<const std::byte> bytes = section.subspan(offsets[i], kHeaderSize);
    headers[i] = *LoadRecord<VHDX_HEADER>(bytes);
    vhdx_inspect::HeaderCopyRecord& copy = record_.headers[i];
    copy.offset = offsets[i];
    copy.signature_valid = headers[i].Signature == kHeaderSignature;
    copy.checksum_valid = checksums.header[i] ? *checksums.header[i] : ChecksumMatches(bytes);
    copy.sequence_number = headers[i].SequenceNumber.value();
    copy.version = headers[i].Version.value();
    copy.log_version = headers[i].LogVersion.value();
    valid[i] = copy.signature_valid && copy.checksum_valid;
  }
  record_.log_state = "unknown";
  if (!valid[0] && !valid[1]) {
    findings_.push_back(MakeFinding(Check::kHeaderNoValidCopy, Severity::kFailure,
                                    "Neither header copy has a valid signature and checksum, so no reader can open the "
                                    "file."));
    return;
  }
  // As a reader takes it: the valid copy, or of two the one with the greater
  // sequence number (the second on a tie, as the header stage does).
  const std::size_t current = !valid[0] ? 1
                              : !valid[1]
                                  ? 0
                                  : (record_.headers[0].sequence_number > record_.headers[1].sequence_number ? 0 : 1);
  const std::size_t other = 1 - current;
  record_.headers[current].current = true;
  const VHDX_HEADER& header = headers[current];
  const std::string name = "Header " + Decimal(current + 1);

  if (header.Version.value() != 1) {
    StructureFinding finding =
        MakeFinding(Check::kHeaderVersion, Severity::kFailure,
                    name + ", the current one, has Version " + Decimal(header.Version.value()) + "; it should be 1.");
    finding.index = current;
    finding.offset = offsets[current];
    finding.found = header.Version.value();
    finding.expected = 1;
    findings_.push_back(std::move(finding));
  }
  if (header.LogVersion.value() != 0) {
    StructureFinding finding = MakeFinding(
        Check::kHeaderLogVersion, Severity::kFailure,
        name + ", the current one, has LogVersion " + Decimal(header.LogVersion.value()) + "; it should be 0.");
    finding.index = current;
    finding.offset = offsets[current];
    finding.found = header.LogVersion.value();
    finding.expected = 0;
    findings_.push_back(std::move(finding));
  }
  const std::uint64_t logOffset = header.LogOffset.value();
  const std::uint32_t logLength = header.LogLength.value();
  if (logOffset % kMiB != 0 || logLength % kMiB != 0 || (logLength != 0 && logOffset < kHeaderSectionSize)) {
    StructureFinding finding =
        MakeFinding(Check::kHeaderLogPlace, Severity::kFailure,
                    name + " places the log at offset " + Decimal(logOffset) + " with length " + Decimal(logLength) +
                        "; both should be multiples of 1 MiB, beyond the 1 MiB header section.");
    finding.index = current;
    finding.offset = logOffset;
    findings_.push_back(std::move(finding));
  } else {
    logOffset_ = logOffset;
    logLength_ = logLength;
  }
  logPresent_ = header.LogGuid != Guid{};
  logGuid_ = header.LogGuid;
  logVersion_ = header.LogVersion.value();
  record_.log_offset = logOffset;
  record_.log_length = logLength;
  record_.log_state = logPresent_ ? "not_examined" : "empty";

  if (!valid[other]) {
    StructureFinding finding =
        MakeFinding(Check::kHeaderCopyDamaged, Severity::kWarning,
                    "Header " + Decimal(other + 1) + " has " +
                        (record_.headers[other].signature_valid ? "a wrong checksum" : "no valid signature") +
                        ": the file still opens from header " + Decimal(current + 1) +
                        ", but one more fault there would leave no header.");
    finding.index = other;
    finding.offset = offsets[other];
    findings_.push_back(std::move(finding));
  } else if (record_.headers[0].sequence_number == record_.headers[1].sequence_number) {
    StructureFinding finding =
        MakeFinding(Check::kHeaderSameSequence, Severity::kWarning,
                    "Both header copies carry sequence number " + Decimal(record_.headers[0].sequence_number) +
                        ", so the format names neither as the current one.");
    finding.found = Signed(record_.headers[0].sequence_number);
    findings_.push_back(std::move(finding));
  } else if (headers[other].Version.value() != 1 || headers[other].LogVersion.value() != 0) {
    StructureFinding finding =
        MakeFinding(Check::kHeaderCopyDamaged, Severity::kWarning,
                    "Header " + Decimal(other + 1) + " has Version " + Decimal(headers[other].Version.value()) +
                        " and LogVersion " + Decimal(headers[other].LogVersion.value()) +
                        "; they should be 1 and 0, so it could not stand in for header " + Decimal(current + 1) + ".");
    finding.index = other;
    finding.offset = offsets[other];
    findings_.push_back(std::move(finding));
  }
}

void StructurePass::CheckRegionTables(std::span<const std::byte, kExaminedHeaderSectionSize> section,
                                      const SectionChecksums& checksums) {
  const std::size_t offsets[2] = {kRegionTable1Offset, kRegionTable2Offset};
  bool valid[2];
  std::span<const std::byte> tables[2];
  for (std::size_t i = 0; i < 2; ++i) tables[i] = section.subspan(offsets[i], kRegionTableSize);
  // Identical copies share one checksum, and one the header stage computed
  // is not computed again: for a sound image no 64 KiB CRC-32C here at all
  // (each costs 210,000 instructions, callgrind).
  const bool same = std::memcmp(tables[0].data(), tables[1].data(), kRegionTableSize) == 0;
  std::array<std::optional<bool>, 2> stage = checksums.region_table;
  if (same && !stage[0]) stage[0] = stage[1];
  for (std::size_t i = 0; i < 2; ++i) {
    const auto header = *LoadRecord<REGION_TABLE_HEADER>(tables[i]);
    vhdx_inspect::RegionTableCopyRecord& copy = record_.region_tables[i];
    copy.offset = offsets[i];
    copy.signature_valid = header.Signature == kRegionTableSignature;
    copy.checksum_valid = stage[i]         ? *stage[i]
                          : i == 1 && same ? record_.region_tables[0].checksum_valid
                                           : ChecksumMatches(tables[i]);
    copy.entry_count = header.EntryCount.value();
    valid[i] = copy.signature_valid && copy.checksum_valid;
  }
  record_.region_tables[0].same_as_copy_1 = true;
  record_.region_tables[1].same_as_copy_1 = same;
  const auto damage = [&](std::size_t i) {
    return record_.region_tables[i].signature_valid ? std::string("a wrong checksum")
                                                    : std::string("no valid signature");
  };
  if (!valid[0]) {
    StructureFinding finding =
        MakeFinding(Check::kRegionTableCopyDamaged, Severity::kFailure,
                    "Region table copy 1 has " + damage(0) +
                        (valid[1] ? std::string(": readers that go by copy 1 refuse the file.")
                                  : ", and copy 2 has " + damage(1) + ": no reader can find the regions."));
    finding.index = 0;
    finding.offset = offsets[0];
    findings_.push_back(std::move(finding));
  }
  if (valid[0] && !valid[1]) {
    StructureFinding finding =
        MakeFinding(Check::kRegionTableCopyDamaged, Severity::kWarning,
                    "Region table copy 2 has " + damage(1) +
                        ": the file still opens from copy 1, but one more fault there would leave no region table.");
    finding.index = 1;
    finding.offset = offsets[1];
    findings_.push_back(std::move(finding));
  } else if (valid[0] && valid[1] && !same) {
    StructureFinding finding =
        MakeFinding(Check::kRegionTableCopiesDiffer, Severity::kWarning,
                    "Region table copy 2 differs from copy 1, so the two cannot stand in for each "
                    "other.");
    finding.index = 1;
    finding.offset = offsets[1];
    findings_.push_back(std::move(finding));
  }
  if (!valid[0] && !valid[1]) return;
  const std::size_t used = valid[0] ? 0 : 1;

  const std::uint32_t count = record_.region_tables[used].entry_count;
  if (count > kMaxTableEntries) {
    StructureFinding finding = MakeFinding(Check::kRegionTableEntryLimit, Severity::kFailure,
                                           "Region table copy " + Decimal(used + 1) + " lists " + Decimal(count) +
                                               " entries; the format allows at most 2047.");
    finding.index = used;
    finding.offset = offsets[used];
    finding.found = count;
    finding.expected = kMaxTableEntries;
    findings_.push_back(std::move(finding));
    return;
  }
  const std::span<const std::byte> table = tables[used];
  regions_.reserve(count);
  bool duplicate = false, place = false, unknown = false;
  for (std::uint32_t i = 0; i < count; ++i) {
    // 16 + 2047 * 32 bytes fit in the 64 KiB of the table.
    const auto entry = *LoadRecord<REGION_TABLE_ENTRY>(table, 16 + std::uint64_t{i} * sizeof(REGION_TABLE_ENTRY));
    const RegionEntry region{entry.Guid, entry.FileOffset.value(), entry.Length.value(), entry.Required.value()};
    const bool known = region.guid == BatRegionGuid || region.guid == MetadataRegionGuid;
    const bool repeated =
        std::any_of(regions_.begin(), regions_.end(), [&](const RegionEntry& r) { return r.guid == region.guid; });
    if (repeated && !duplicate) {
      duplicate = true;
      StructureFinding finding =
          MakeFinding(Check::kRegionTableDuplicateRegion, Severity::kFailure,
                      "Region table entry " + Decimal(i) + " repeats the GUID of an earlier entry (" +
                          RegionName(region.guid) + ").");
      finding.index = i;
      finding.offset = region.offset;
      findings_.push_back(std::move(finding));
    }
    if ((region.offset % kMiB != 0 || region.length % kMiB != 0 || region.offset < kHeaderSectionSize) && !place) {
      place = true;
      StructureFinding finding =
          MakeFinding(Check::kRegionTableRegionPlace, Severity::kFailure,
                      "Region table entry " + Decimal(i) + " (" + RegionName(region.guid) + ") lies at offset " +
                          Decimal(region.offset) + " with length " + Decimal(region.length) +
                          "; both should be multiples of 1 MiB, beyond the 1 MiB header section.");
      finding.index = i;
      finding.offset = region.offset;
      findings_.push_back(std::move(finding));
    }
    if (!known && (region.required & 1) != 0 && !unknown) {
      unknown = true;
      StructureFinding finding = MakeFinding(
          Check::kRegionTableUnknownRequired, Severity::kFailure,
          "Region table entry " + Decimal(i) +
              " names a region this format does not know and marks it required, so a conforming reader must "
              "refuse the file.");
      finding.index = i;
      finding.offset = region.offset;
      findings_.push_back(std::move(finding));
    }
    if (repeated) continue;
    regions_.push_back(region);
    if (region.guid == BatRegionGuid) bat_ = region;
    if (region.guid == MetadataRegionGuid) metadata_ = region;
  }
  for (const auto& [present, what] :
       {std::pair{bat_.has_value(), "the BAT region"}, std::pair{metadata_.has_value(), "the metadata region"}}) {
    if (present) continue;
    StructureFinding finding = MakeFinding(Check::kRegionTableMissingRegion, Severity::kFailure,
                                           "Region table copy " + Decimal(used + 1) + " does not list " + what + ".");
    finding.index = used;
    findings_.push_back(std::move(finding));
  }
}

namespace {

// The metadata items by GUID: what the pass takes from them.
struct MetadataFacts {
  std::optional<std::uint32_t> blockSize;
  std::optional<std::uint64_t> virtualDiskSize;
  std::optional<std::uint32_t> logicalSectorSize;
  bool hasParent = false;
};

StageResult ReadValue(RegionWindow& region, std::uint64_t offset, std::uint64_t length, std::span<std::byte>& bytes) {
  return region.Fetch({offset, length}, bytes);
}

// Checks the metadata table and items; a read that fails leaves the rest
// unchecked (the plugin's checks report such reads).
void CheckMetadataItems(RegionWindow& region, std::uint32_t regionLength, MetadataFacts& facts,
                        std::vector<StructureFinding>& findings) {
  const std::uint64_t limit = std::min<std::uint64_t>(regionLength, region.size());
  std::optional<METADATA_TABLE_HEADER> header;
  if (!RangeFits(limit, 0, sizeof(METADATA_TABLE_HEADER))) {
    findings.push_back(
        MakeFinding(Check::kMetadataTable, Severity::kFailure, "The metadata region is too small to hold its table."));
    return;
  }
  if (LoadFrom(region, 0, header) || !header) return;
  const std::uint32_t count = header->EntryCount.value();
  if (header->Signature != kMetadataTableSignature || count > kMaxTableEntries ||
      !RangeFits(limit, sizeof(METADATA_TABLE_HEADER), std::uint64_t{count} * sizeof(METADATA_TABLE_ENTRY))) {
    StructureFinding finding = MakeFinding(Check::kMetadataTable, Severity::kFailure,
                                           header->Signature != kMetadataTableSignature
                                               ? std::string("The metadata table has no valid signature.")
                                               : "The metadata table lists " + Decimal(count) +
                                                     " entries; the format allows at most 2047, within the region.");
    finding.found = count;
    finding.expected = kMaxTableEntries;
    findings.push_back(std::move(finding));
    return;
  }
  std::span<std::byte> bytes;
  if (count != 0 && ReadValue(region, sizeof(METADATA_TABLE_HEADER), std::uint64_t{count} * 32, bytes)) return;
  std::vector<METADATA_TABLE_ENTRY> entries(count);
  for (std::uint32_t i = 0; i < count; ++i) {
    entries[i] = *LoadRecord<METADATA_TABLE_ENTRY>(std::span<const std::byte>(bytes), std::uint64_t{i} * 32);
  }

  std::optional<std::uint32_t> standard[std::size(kStandardItems)];
  bool reported[8] = {};
  const auto once = [&](int which) { return !std::exchange(reported[which], true); };
  struct Placed {
    std::uint64_t offset, length;
    std::uint32_t index;
  };
  std::vector<Placed> placed;
  for (std::uint32_t i = 0; i < count; ++i) {
    const METADATA_TABLE_ENTRY& entry = entries[i];
    const std::uint32_t flags = entry.Flags.value();
    const bool isUser = (flags & 1) != 0;
    const bool isRequired = (flags & 4) != 0;
    const std::uint64_t offset = entry.Offset.value();
    const std::uint64_t length = entry.Length.value();
    bool earlier = false;
    for (std::uint32_t j = 0; j < i && !earlier; ++j) {
      earlier = entries[j].ItemId == entry.ItemId && (entries[j].Flags.value() & 1) == (flags & 1);
    }
    if (earlier && once(0)) {
      StructureFinding finding = MakeFinding(Check::kMetadataDuplicateItem, Severity::kFailure,
                                             "Metadata table entry " + Decimal(i) +
                                                 " lists an item that an earlier entry "
                                                 "already lists.");
      finding.index = i;
      findings.push_back(std::move(finding));
    }
    int known = -1;
    for (std::size_t k = 0; k < std::size(kStandardItems) && !isUser; ++k) {
      if (entry.ItemId == *kStandardItems[k].guid) known = static_cast<int>(k);
    }
    if (known < 0 && isRequired && once(1)) {
      StructureFinding finding =
          MakeFinding(Check::kMetadataUnknownRequiredItem, Severity::kFailure,
                      "Metadata table entry " + Decimal(i) +
                          " names an item this format does not know and marks it required, so a conforming reader must "
                          "refuse the file.");
      finding.index = i;
      findings.push_back(std::move(finding));
    }
    const bool badPlace =
        length == 0 ? offset != 0 : (offset < kKiB64 || length > kMiB || !RangeFits(limit, offset, length));
    const bool tooShort = known >= 0 && kStandardItems[known].size != 0 && length < kStandardItems[known].size;
    if ((badPlace || tooShort) && once(2)) {
      StructureFinding finding = MakeFinding(
          Check::kMetadataItemPlace, Severity::kFailure,
          "Metadata item " + Decimal(i) + (known >= 0 ? std::string(" (") + kStandardItems[known].name + ")" : "") +
              " lies at region offset " + Decimal(offset) + " with length " + Decimal(length) +
              (tooShort ? std::string(", too short for its value.")
                        : "; an item should lie inside the region, at 64 KiB or later, and hold at most 1 MiB."));
      finding.index = i;
      finding.found = Signed(offset);
      findings.push_back(std::move(finding));
    }
    if (!badPlace && length != 0) placed.push_back({offset, length, i});
    if (known >= 0 && !earlier && !badPlace && !tooShort) standard[known] = i;
  }
  std::sort(placed.begin(), placed.end(), [](const Placed& a, const Placed& b) { return a.offset < b.offset; });
  for (std::size_t k = 1; k < placed.size(); ++k) {
    if (placed[k].offset < placed[k - 1].offset + placed[k - 1].length && once(2)) {
      StructureFinding finding = MakeFinding(Check::kMetadataItemPlace, Severity::kFailure,
                                             "Metadata items " + Decimal(placed[k - 1].index) + " and " +
                                                 Decimal(placed[k].index) + " overlap in the metadata region.");
      finding.index = placed[k].index;
      finding.found = Signed(placed[k].offset);
      findings.push_back(std::move(finding));
    }
  }
  for (std::size_t k = 0; k < std::size(kStandardItems); ++k) {
    if (!kStandardItems[k].required || standard[k]) continue;
    if (once(3)) {
      findings.push_back(MakeFinding(Check::kMetadataMissingItem, Severity::kFailure,
                                     std::string("The metadata table has no usable ") + kStandardItems[k].name +
                                         " item, which every VHDX needs."));
    }
  }

  const auto value = [&](std::size_t k, std::uint64_t width, std::span<std::byte>& out) {
    if (!standard[k]) return false;
    return !ReadValue(region, entries[*standard[k]].Offset.value(), width, out);
  };
  std::span<std::byte> item;
  if (value(0, 8, item)) {
    const std::uint32_t blockSize = LoadRecord<encoding::le_u32>(std::span<const std::byte>(item))->value();
    const std::uint32_t flags = LoadRecord<encoding::le_u32>(std::span<const std::byte>(item), 4)->value();
    facts.hasParent = (flags & 2) != 0;
    if (blockSize < kMiB || blockSize > 256 * kMiB || (blockSize & (blockSize - 1)) != 0) {
      StructureFinding finding =
          MakeFinding(Check::kMetadataBlockSize, Severity::kFailure,
                      "The block size is " + Bytes(blockSize) + "; it should be a power of two from 1 MiB to 256 MiB.");
      finding.found = blockSize;
      finding.expected = kMiB;
      findings.push_back(std::move(finding));
    } else {
      facts.blockSize = blockSize;
    }
    if ((flags & ~std::uint32_t{3}) != 0) {
      StructureFinding finding =
          MakeFinding(Check::kMetadataFlags, Severity::kFailure,
                      "The file parameters' flags are " + Decimal(flags) +
                          ": only the two lowest bits have a meaning, the others should be zero.");
      finding.found = flags;
      findings.push_back(std::move(finding));
    }
  }
  for (const std::size_t k : {std::size_t{3}, std::size_t{4}}) {
    if (!value(k, 4, item)) continue;
    const std::uint32_t size = LoadRecord<encoding::le_u32>(std::span<const std::byte>(item))->value();
    if (size != 512 && size != 4096) {
      if (once(4)) {
        StructureFinding finding = MakeFinding(
            Check::kMetadataSectorSize, Severity::kFailure,
            std::string("The ") + kStandardItems[k].name + " is " + Bytes(size) + "; it should be 512 or 4096 bytes.");
        finding.found = size;
        findings.push_back(std::move(finding));
      }
    } else if (k == 3) {
      facts.logicalSectorSize = size;
    }
  }
  if (value(1, 8, item)) {
    const std::uint64_t size = LoadRecord<encoding::le_u64>(std::span<const std::byte>(item))->value();
    const bool aligned = !facts.logicalSectorSize || size % *facts.logicalSectorSize == 0;
    if (!aligned || size > kMaxVirtualDiskSize) {
      StructureFinding finding =
          MakeFinding(Check::kMetadataDiskSize, Severity::kFailure,
                      "The virtual disk size is " + Bytes(size) +
                          "; it should be a multiple of the logical sector size and at most 64 TiB.");
      finding.found = Signed(size);
      finding.expected = Signed(kMaxVirtualDiskSize);
      findings.push_back(std::move(finding));
    } else {
      facts.virtualDiskSize = size;
    }
  }
}

// The BAT's geometry from the metadata.
struct Geometry {
  std::uint64_t chunkRatio;
  std::uint64_t payloadBlocks;
  std::uint64_t entries;
  std::uint32_t blockSize;
};

std::optional<Geometry> GeometryOf(const MetadataFacts& facts) {
  if (!facts.blockSize || !facts.virtualDiskSize || !facts.logicalSectorSize) return std::nullopt;
  Geometry g;
  g.blockSize = *facts.blockSize;
  g.chunkRatio = (std::uint64_t{1} << 23) * *facts.logicalSectorSize / g.blockSize;
  g.payloadBlocks = (*facts.virtualDiskSize + g.blockSize - 1) / g.blockSize;
  if (g.payloadBlocks == 0) {
    g.entries = 0;
  } else if (facts.hasParent) {
    g.entries = (g.payloadBlocks + g.chunkRatio - 1) / g.chunkRatio * (g.chunkRatio + 1);
  } else {
    g.entries = g.payloadBlocks + (g.payloadBlocks - 1) / g.chunkRatio;
  }
  return g;
}

// A bitmap of the file in 1 MiB units.
class UnitMap {
 public:
  explicit UnitMap(std::uint64_t fileSize) : units_(std::min(fileSize / kMiB, kMaxBitmapUnits)) {}
  // Marks [offset, offset + length) (offset and length multiples of 1 MiB)
  // and tells whether a unit of it was marked before.
  bool Mark(std::uint64_t offset, std::uint64_t length) {
    if (words_.empty()) words_.assign((units_ + 63) / 64, 0);
    bool before = false;
    const std::uint64_t first = offset / kMiB;
    const std::uint64_t last = std::min(EndOf(offset, length) / kMiB, units_);
    for (std::uint64_t unit = first; unit < last; ++unit) {
      std::uint64_t& word = words_[unit / 64];
      const std::uint64_t bit = std::uint64_t{1} << (unit % 64);
      before = before || (word & bit) != 0;
      word |= bit;
    }
    return before;
  }
  // The marked runs, in file order, at most `most` of them; false when
  // there were more.
  bool Runs(std::vector<vhdx_inspect::ExtentRecord>& runs, std::size_t most) const {
    std::uint64_t unit = 0;
    while (unit < units_) {
      if (words_[unit / 64] == 0 && unit % 64 == 0) {
        unit += 64;
        continue;
      }
      if ((words_[unit / 64] >> (unit % 64) & 1) == 0) {
        ++unit;
        continue;
      }
      const std::uint64_t start = unit;
      while (unit < units_ && (words_[unit / 64] >> (unit % 64) & 1) != 0) ++unit;
      if (runs.size() == most) return false;
      runs.push_back({start * kMiB, (unit - start) * kMiB});
    }
    return true;
  }
  bool empty() const { return words_.empty(); }

 private:
  std::uint64_t units_;
  std::vector<std::uint64_t> words_;
};

}  // namespace

void StructurePass::Finish(platform::File& file, std::uint64_t fileSize, RegionWindow* metadata, PieceArena& arena,
                           vhdx_inspect::Inspection& inspection) {
  if (!started_) return;
  record_.file_size = fileSize;
  std::vector<StructureFinding> findings = std::move(findings_);

  // Places: the log and the regions lie apart from each other.
  std::vector<Place> places;
  if (logOffset_ && logLength_ != 0) places.push_back({"the log", *logOffset_, logLength_});
  for (const RegionEntry& region : regions_) places.push_back({RegionName(region.guid), region.offset, region.length});
  bool overlapFound = false;
  for (std::size_t a = 0; a < places.size() && !overlapFound; ++a) {
    for (std::size_t b = a + 1; b < places.size() && !overlapFound; ++b) {
      if (!Overlap(places[a].offset, places[a].length, places[b].offset, places[b].length)) continue;
      overlapFound = true;
      std::string first = places[a].name;
      first[0] = static_cast<char>(first[0] - 'a' + 'A');
      StructureFinding finding = MakeFinding(
          Check::kFileOverlap, Severity::kFailure,
          first + " (offset " + Decimal(places[a].offset) + ", " + Bytes(places[a].length) + ") overlaps " +
              places[b].name + " (offset " + Decimal(places[b].offset) + ", " + Bytes(places[b].length) + ").");
      finding.offset = places[b].offset;
      findings.push_back(std::move(finding));
    }
  }
  places.insert(places.begin(), Place{"the header section", 0, kHeaderSectionSize});
  // A block names the first place it lies on in file order.
  std::stable_sort(places.begin(), places.end(), [](const Place& a, const Place& b) { return a.offset < b.offset; });

  // Metadata items by GUID.
  MetadataFacts facts;
  if (metadata_) {
    std::optional<RegionWindow> own;
    RegionWindow* region = metadata;
    if (region == nullptr || region->size() < metadata_->length) {
      own.emplace(RegionWindow::ExaminedExtents(file, metadata_->offset, metadata_->length,
                                                {Check::kMetadataRegionSeek, Check::kMetadataRegionRead}, fileSize,
                                                false, arena));
      region = &*own;
    }
    CheckMetadataItems(*region, metadata_->length, facts, findings);
  }
  record_.has_parent = facts.hasParent;

  // The BAT: the entries the virtual size needs, in windows.
  std::uint64_t presentBlocks = 0, lostBlocks = 0;
  std::optional<std::uint64_t> firstLost;
  std::uint64_t neededEnd = 0;
  const std::optional<Geometry> geometry = GeometryOf(facts);
  if (bat_ && geometry) {
    vhdx_inspect::BatRecord bat;
    bat.offset = bat_->offset;
    bat.length = bat_->length;
    bat.payload_blocks = geometry->payloadBlocks;
    bat.chunk_ratio = static_cast<std::uint32_t>(geometry->chunkRatio);
    bat.entries = geometry->entries;
    if (bat_->length / 8 < geometry->entries) {
      StructureFinding finding = MakeFinding(Check::kBatRegionSize, Severity::kFailure,
                                             "The BAT region holds " + Bytes(bat_->length) + ", too small for the " +
                                                 Decimal(geometry->entries) + " entries (" +
                                                 Bytes(geometry->entries * 8) + ") that the virtual disk size needs.");
      finding.offset = bat_->offset;
      finding.found = bat_->length;
      finding.expected = Signed(geometry->entries * 8);
      findings.push_back(std::move(finding));
    }
    const std::uint64_t inFile = bat_->offset < fileSize ? (fileSize - bat_->offset) / 8 : 0;
    const std::uint64_t toRead = std::min({geometry->entries, std::uint64_t{bat_->length} / 8, inFile});
    std::vector<std::byte> window(static_cast<std::size_t>(std::min<std::uint64_t>(kBatWindowBytes, toRead * 8)));
    UnitMap units(fileSize);
    std::uint64_t badState = 0, badReserved = 0, overlapping = 0;
    std::optional<StructureFinding> stateFinding, reservedFinding, overlapFinding;
    const std::uint64_t period = geometry->chunkRatio + 1;
    std::uint64_t done = 0;
    while (done < toRead) {
      const std::uint64_t count = std::min<std::uint64_t>(toRead - done, window.size() / 8);
      const std::uint32_t want = static_cast<std::uint32_t>(count * 8);
      std::uint32_t got = 0;
      bool read = file.Seek(bat_->offset + done * 8);
      while (read && got < want) {
        std::uint32_t now = 0;
        read = file.Read(window.data() + got, want - got, now);
        if (now == 0) break;
        got += now;
      }
      if (!read || got < want) {
        StructureFinding finding = MakeFinding(Check::kBatRead, Severity::kFailure,
                                               "The BAT cannot be read at offset " + Decimal(bat_->offset + done * 8) +
                                                   (read ? std::string(": the file ended early.")
                                                         : " (system status " + Decimal(file.LastError()) + ")."));
        finding.offset = bat_->offset + done * 8;
        findings.push_back(std::move(finding));
        break;
      }
      for (std::uint64_t k = 0; k < count; ++k) {
        const std::uint64_t index = done + k;
        const std::uint64_t entry = LoadRecord<encoding::le_u64>(std::span<const std::byte>(window), k * 8)->value();
        const unsigned state = static_cast<unsigned>(entry & 7);
        const std::uint64_t offset = entry & ~std::uint64_t{0xFFFFF};
        const bool bitmap = (index + 1) % period == 0;
        bool allowed;
        if (bitmap) {
          allowed = state == 0 || (state == 6 && facts.hasParent);
          if (state == 6) ++bat.sector_bitmaps_present;
          if (state != 0 && state != 6) ++bat.sector_bitmaps_other;
        } else {
          allowed = state <= 3 || state == 6 || (state == 7 && facts.hasParent);
          switch (state) {
            case 0:
              ++bat.not_present;
              break;
            case 1:
              ++bat.undefined;
              break;
            case 2:
              ++bat.zero;
              break;
            case 3:
              ++bat.unmapped;
              break;
            case 6:
              ++bat.fully_present;
              break;
            case 7:
              ++bat.partially_present;
              break;
            default:
              ++bat.reserved_state;
              break;
          }
        }
        const char* kind = bitmap ? "sector bitmap" : "payload block";
        if (!allowed && badState++ == 0) {
          stateFinding = MakeFinding(Check::kBatState, Severity::kFailure,
                                     "BAT entry " + Decimal(index) + " (a " + kind + " entry) is in state " +
                                         Decimal(state) + ", which the format does not allow for it" +
                                         (facts.hasParent ? "" : " in a disk without a parent") + ".");
          stateFinding->index = index;
          stateFinding->offset = offset;
          stateFinding->found = state;
        }
        if ((entry >> 3 & 0x1FFFF) != 0 && badReserved++ == 0) {
          reservedFinding =
              MakeFinding(Check::kBatReservedBits, Severity::kFailure,
                          "BAT entry " + Decimal(index) + " has reserved bits set (value " + Decimal(entry) + ").");
          reservedFinding->index = index;
          reservedFinding->offset = offset;
        }
        // A state the kind may not take is reported as such, not placed.
        const bool present = allowed && (state == 6 || state == 7);
        if (!present) continue;
        ++presentBlocks;
        const std::uint64_t length = bitmap ? kMiB : geometry->blockSize;
        neededEnd = std::max(neededEnd, EndOf(offset, length));
        std::string on;
        for (const Place& place : places) {
          if (Overlap(offset, length, place.offset, place.length)) {
            on = place.name;
            break;
          }
        }
        if (!RangeFits(fileSize, offset, length)) {
          if (lostBlocks++ == 0) firstLost = index;
        } else if (units.Mark(offset, length) && on.empty()) {
          on = "a block that an earlier entry locates";
        }
        if (!on.empty() && overlapping++ == 0) {
          overlapFinding = MakeFinding(Check::kBatBlockOverlap, Severity::kFailure,
                                       "BAT entry " + Decimal(index) + " (state " + Decimal(state) + ") puts its " +
                                           kind + " at offset " + Decimal(offset) + ", on " + on + ".");
          overlapFinding->index = index;
          overlapFinding->offset = offset;
          overlapFinding->found = state;
        }
      }
      done += count;
    }
    bat.entries_read = done;
    const auto withCount = [](std::optional<StructureFinding>& finding, std::uint64_t all) {
      if (finding && all > 1) {
        finding->description.pop_back();
        finding->description += " (" + Decimal(all) + " entries in all).";
      }
    };
    withCount(stateFinding, badState);
    withCount(reservedFinding, badReserved);
    withCount(overlapFinding, overlapping);
    for (auto* finding : {&stateFinding, &reservedFinding, &overlapFinding}) {
      if (*finding) findings.push_back(std::move(**finding));
    }
    if (!units.empty())
      bat.present_blocks_complete = units.Runs(bat.present_blocks, vhdx_inspect::BatRecord::kMaxListedExtents);
    inspection.bat = std::move(bat);
  }

  // The log, when there are writes to replay and a reader could find it.
  if (logPresent_) {
    if (logOffset_ && logVersion_ == 0 && RangeFits(fileSize, *logOffset_, logLength_)) {
      CheckLog(file, fileSize, *logOffset_, logLength_, logGuid_, record_, findings);
    } else {
      record_.log_state = "not_examined";
    }
  }

  // The file's length against everything that must lie in it.
  std::vector<std::string> cut;
  for (const Place& place : places) {
    if (place.length == 0 || RangeFits(fileSize, place.offset, place.length)) continue;
    cut.push_back(place.name);
    neededEnd = std::max(neededEnd, EndOf(place.offset, place.length));
  }
  if (!cut.empty() || lostBlocks != 0) {
    std::string what;
    for (std::size_t i = 0; i < cut.size(); ++i) {
      what += (i == 0 ? "" : i + 1 == cut.size() ? " and " : ", ") + cut[i];
    }
    if (lostBlocks != 0) {
      what += what.empty() ? "" : ", and ";
      if (lostBlocks == presentBlocks) {
        what += lostBlocks == 1 ? std::string("its one present block")
                                : "all " + Decimal(lostBlocks) + " of its present blocks";
      } else {
        what += Decimal(lostBlocks) + " of its " + Decimal(presentBlocks) + " present blocks";
      }
    }
    const bool singular = cut.size() + (lostBlocks != 0 ? 1 : 0) == 1 && lostBlocks <= 1;
    StructureFinding finding = MakeFinding(Check::kFileTruncated, Severity::kFailure,
                                           "The file ends at byte " + Decimal(fileSize) + " but should reach to byte " +
                                               Decimal(neededEnd) + ": " + what + (singular ? " lies" : " lie") +
                                               " past its end, so it was cut short (copy it again from its source).");
    if (firstLost) finding.index = *firstLost;
    finding.offset = fileSize;
    finding.found = Signed(fileSize);
    finding.expected = Signed(neededEnd);
    findings.insert(findings.begin(), std::move(finding));
  }

  inspection.structure_findings = std::move(findings);
  inspection.structure = std::move(record_);
}

}  // namespace vhdx_inspect::detail::vhdx
