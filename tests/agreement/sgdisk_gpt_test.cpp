// GPTs that sgdisk writes on a raw disk of 512-byte sectors, wrapped into
// plugin images (the disk's first 34 sectors as the partition-table area, its
// last 33 as the trailer): vhdx-inspect must verify them clean and show the
// partitions, LBAs, names and header values that sgdisk shows; a GPT damaged
// by hand must be reported by both tools, with the same numbers where both
// give numbers. The expected text of the partition tables is the one the
// end-to-end tests write (tests/e2e/partition_expected.h), filled in with
// what sgdisk shows.
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <ostream>
#include <regex>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "e2e/partition_expected.h"
#include "programs.h"
#include "report.h"
#include "support/checksums.h"
#include "support/plugin_image.h"

namespace agreement {
namespace {

using namespace testsupport;

constexpr std::uint64_t kSectorSize = 512;

// One partition as sgdisk is asked to make it.
struct SgdiskPartition {
  int number;
  std::string start;  // sgdisk's notation: a sector, "0" for the next free one
  std::string end;    // a sector, "+8M", "0" for the largest end
  std::string typeCode;
  std::string name;  // UTF-8
  std::vector<int> attributeBits;
};

struct DiskLayout {
  const char* name;
  std::uint64_t diskSize;
  std::vector<SgdiskPartition> partitions;
};

const std::string kName36 = "abcdefghijklmnopqrstuvwxyz0123456789";

const std::vector<DiskLayout> kLayouts = {
    {"Windows disk",
     256 * kMiB,
     {{1, "2048", "+100M", "EF00", "EFI system partition", {}},
      {2, "0", "+16M", "0C01", "Microsoft reserved partition", {}},
      {3, "0", "0", "0700", "Basic data partition", {}}}},
    {"known and other types, names that fit and names that do not",
     512 * kMiB,
     {{1, "2048", "+64M", "EF00", "EFI System Partition", {0}},
      {2, "0", "+16M", "0C01", "Microsoft reserved", {}},
      {3, "0", "+64M", "0700", "Basic data partition 2", {63}},
      {4, "0", "+32M", "0700", "", {}},
      {5, "0", "+64M", "8300", "root", {2}},
      {6, "0", "+32M", "8200", "swap space", {}},
      {7, "0", "+16M", "8E00", "", {60, 62}},
      {8, "0", "0", "A504", "FreeBSD data", {}}}},
    {"36 character names, Latin-1 and other characters",
     128 * kMiB,
     {{1, "2048", "+8M", "EF00", "EFI system partition" + kName36.substr(0, 16), {}},
      {2, "0", "+8M", "8300", kName36, {}},
      {3, "0", "+8M", "0700", "Donn\u00e9es", {}},
      {4, "0", "+8M", "8300", "\u6570\u636e \u00c5", {}}}},
    {"unused entry between used ones",
     64 * kMiB,
     {{1, "2048", "+8M", "EF00", "EFI system partition", {}},
      {2, "0", "+8M", "0700", "Basic data partition", {}},
      {4, "0", "+8M", "0700", "Basic data partition", {}}}},
    {"a data partition named short of its type, a nameless last partition",
     64 * kMiB,
     {{1, "2048", "+10M", "EF00", "EFI system partition", {}},
      {2, "0", "+16M", "0C01", "Microsoft reserved partition", {}},
      {3, "0", "+8M", "0700", "Basic data partition", {}},
      {4, "0", "+4M", "8300", "Linux root", {60}},
      {5, "0", "+1M", "0700", "Data", {}},
      {6, "0", "0", "8200", "", {0}}}},
};

// Names the case in failure messages.
void PrintTo(const DiskLayout& value, std::ostream* out) { *out << value.name; }

// What `sgdisk -p` and `sgdisk -i` show of one partition.
struct SgdiskShows {
  int number = 0;
  std::uint64_t first = 0;
  std::uint64_t last = 0;
  std::string code;
  std::string listedName;  // the -p column, which sgdisk may cut short with "..."
  std::string typeGuid;
  std::uint64_t attributes = 0;
  std::string name;  // -i, whole, UTF-8
};

struct SgdiskDisk {
  std::uint64_t sectors = 0;
  std::uint64_t firstUsable = 0;
  std::uint64_t lastUsable = 0;
  std::uint64_t mainTableStart = 0;
  std::uint64_t entries = 0;
  std::vector<SgdiskShows> partitions;
  // `sgdisk -O`: the first MBR record.
  std::uint64_t mbrStart = 0;
  std::uint64_t mbrEnd = 0;
  std::string mbrCode;
};

std::uint64_t Group(const std::smatch& match, int group) { return std::stoull(match[group].str()); }

// The first match of `pattern`; a failed test when there is none.
std::smatch Search(const std::string& text, const std::string& pattern) {
  std::smatch match;
  if (!std::regex_search(text, match, std::regex(pattern))) {
    ADD_FAILURE() << "sgdisk output without /" << pattern << "/:\n" << text;
  }
  return match;
}

// The partition types the tool names: sgdisk's code for the type, the type
// GUID that code stands for, the tool's text and the name a partition of the
// type must begin with.
struct KnownType {
  const char* code;
  const char* guid;
  const char* text;
  const char* expectedName;
};
constexpr KnownType kKnownTypes[] = {
    {"0700", "EBD0A0A2-B9E5-4433-87C0-68B6B72699C7", "Data partition", "Basic data partition"},
    {"0C01", "E3C9E316-0B5C-4DB8-817D-F92DF00215AE", "Microsoft reserved partition", "Microsoft reserved partition"},
    {"EF00", "C12A7328-F81F-11D2-BA4B-00A0C93EC93B", "EFI system partition", "EFI system partition"},
};

const KnownType* KnownTypeOfCode(const std::string& code) {
  for (const KnownType& type : kKnownTypes) {
    if (code == type.code) return &type;
  }
  return nullptr;
}

// The name as the tool writes it: each UTF-16 code unit up to 0xFF as the byte
// of that value, any other as '?'.
std::string AsToolWritesName(const std::string& utf8) {
  std::string out;
  for (std::size_t i = 0; i < utf8.size();) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    const int length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    std::uint32_t codePoint = length == 1 ? lead : lead & (0x7Fu >> length);
    for (int k = 1; k < length && i + static_cast<std::size_t>(k) < utf8.size(); ++k) {
      codePoint = (codePoint << 6) | (static_cast<unsigned char>(utf8[i + static_cast<std::size_t>(k)]) & 0x3Fu);
    }
    i += static_cast<std::size_t>(length);
    if (codePoint <= 0xFF) {
      out.push_back(static_cast<char>(codePoint));
    } else {
      out += codePoint > 0xFFFF ? "??" : "?";  // a surrogate pair is two code units
    }
  }
  return out;
}

std::string TestName(const char* text) {
  std::string name;
  for (const char c : std::string(text)) name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
  return name;
}

class SgdiskAgreement : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto found = RequireTool("sgdisk", "gdisk");
    if (!found) return;
    sgdisk_ = *found;
    raw_ = scratch_ / "disk.raw";
    image_ = scratch_ / "disk.vhdx";
  }

  ProgramRun Sgdisk(std::vector<std::string> arguments) {
    arguments.push_back(raw_);
    return RunProgram(sgdisk_, arguments);
  }

  // Makes the raw disk of `layout` with sgdisk (a sparse file) and the plugin
  // image that wraps its partition tables.
  PluginImage MakeDisk(const DiskLayout& layout) {
    { std::ofstream create(raw_, std::ios::binary); }
    std::filesystem::resize_file(raw_, layout.diskSize);
    std::vector<std::string> arguments = {"-o"};
    for (const SgdiskPartition& p : layout.partitions) {
      const std::string n = std::to_string(p.number);
      arguments.insert(arguments.end(), {"-n", n + ":" + p.start + ":" + p.end, "-t", n + ":" + p.typeCode});
      if (!p.name.empty()) arguments.insert(arguments.end(), {"-c", n + ":" + p.name});
      for (int bit : p.attributeBits) arguments.insert(arguments.end(), {"-A", n + ":set:" + std::to_string(bit)});
    }
    const ProgramRun made = Sgdisk(arguments);
    EXPECT_EQ(made.status, 0) << made.out << made.err;
    ImageDescription description;
    AdoptRawDisk(description, raw_);
    return PluginImage::Build(description);
  }

  SgdiskDisk ReadWithSgdisk() {
    SgdiskDisk shown;
    const ProgramRun print = Sgdisk({"-p"});
    EXPECT_EQ(print.status, 0) << print.out << print.err;
    shown.sectors = Group(Search(print.out, R"(: (\d+) sectors,)"), 1);
    const auto usable = Search(print.out, R"(First usable sector is (\d+), last usable sector is (\d+))");
    shown.firstUsable = Group(usable, 1);
    shown.lastUsable = Group(usable, 2);
    shown.mainTableStart = Group(Search(print.out, R"(Main partition table begins at sector (\d+))"), 1);
    shown.entries = Group(Search(print.out, R"(Partition table holds up to (\d+) entries)"), 1);
    const std::regex row(R"(^ *(\d+) +(\d+) +(\d+) +[\d.]+ \S+ +([0-9A-F]{4})(?:  (.*))?$)");
    std::istringstream lines(print.out);
    for (std::string line; std::getline(lines, line);) {
      std::smatch match;
      if (!std::regex_match(line, match, row)) continue;
      SgdiskShows p;
      p.number = std::stoi(match[1].str());
      p.first = Group(match, 2);
      p.last = Group(match, 3);
      p.code = match[4].str();
      p.listedName = match[5].str();
      const ProgramRun detail = Sgdisk({"-i", std::to_string(p.number)});
      p.typeGuid = Search(detail.out, R"(Partition GUID code: ([0-9A-F-]{36}))")[1].str();
      p.attributes = std::stoull(Search(detail.out, R"(Attribute flags: ([0-9A-F]{16}))")[1].str(), nullptr, 16);
      p.name = Search(detail.out, R"(Partition name: '(.*)'\n)")[1].str();
      shown.partitions.push_back(p);
    }
    const ProgramRun mbr = Sgdisk({"-O"});
    const auto record = Search(mbr.out, R"(\n +1 +(\d+) +(\d+) +primary +0x([0-9A-F]{2}))");
    shown.mbrStart = Group(record, 1);
    shown.mbrEnd = Group(record, 2);
    shown.mbrCode = record[3].str();
    return shown;
  }

  // The tool's output for the image, which must be inspected to the end.
  std::string Inspect() {
    const ProgramRun run = RunVhdxInspect({"-f", image_});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out.find("Exception occurred: "), std::string::npos) << run.out;
    return run.out;
  }

  std::string sgdisk_;
  ScratchDirectory scratch_;
  std::string raw_;
  std::string image_;
};

class SgdiskLayouts : public SgdiskAgreement, public ::testing::WithParamInterface<DiskLayout> {};

// The partitions that sgdisk shows are the ones it was asked to make.
void ExpectAsAsked(const DiskLayout& layout, const SgdiskDisk& disk) {
  ASSERT_EQ(disk.partitions.size(), layout.partitions.size());
  for (std::size_t i = 0; i < disk.partitions.size(); ++i) {
    const SgdiskShows& shown = disk.partitions[i];
    const SgdiskPartition& asked = layout.partitions[i];
    SCOPED_TRACE("partition " + std::to_string(asked.number) + " '" + asked.name + "'");
    EXPECT_EQ(shown.number, asked.number);
    EXPECT_EQ(shown.code, asked.typeCode);
    EXPECT_EQ(shown.name, asked.name);
    std::uint64_t attributes = 0;
    for (const int bit : asked.attributeBits) attributes |= std::uint64_t{1} << bit;
    EXPECT_EQ(shown.attributes, attributes);
    // sgdisk -p cuts a long name short with "...".
    const bool cut = shown.listedName.size() >= 3 && shown.listedName.ends_with("...");
    const std::size_t compared = cut ? shown.listedName.size() - 3 : std::string::npos;
    EXPECT_EQ(shown.name.substr(0, compared), shown.listedName.substr(0, compared));
    // The code sgdisk shows stands for the type GUID the tool knows.
    if (const KnownType* known = KnownTypeOfCode(shown.code)) {
      EXPECT_EQ(shown.typeGuid, known->guid);
    }
  }
}

// One partition as the tool must print it: the type text of sgdisk's type
// code, and the name check of a type the tool knows.
e2e::EntryText AsToolPrints(const SgdiskShows& p) {
  const KnownType* known = KnownTypeOfCode(p.code);
  const std::string name = AsToolWritesName(p.name);
  const bool nameFits = known == nullptr || name.starts_with(known->expectedName);
  return {known ? known->text : "Unknown partition type", p.first, p.last, p.attributes, name, !nameFits};
}

// The two GPT headers with the values that sgdisk -p states, and the two
// checksums as stored on the disk.
std::pair<e2e::GptHeaderText, e2e::GptHeaderText> HeadersOf(const SgdiskDisk& disk, const PluginImage& image) {
  const std::uint64_t lastLba = disk.sectors - 1;
  const std::uint64_t entrySectors = disk.entries * 128 / kSectorSize;
  const auto stored = [&image](std::uint64_t header, Field field) { return image.Get(header, field); };
  e2e::GptHeaderText primary;
  primary.myLba = 1;
  primary.alternateLba = lastLba;
  primary.firstUsableLba = disk.firstUsable;
  primary.lastUsableLba = disk.lastUsable;
  primary.partitionEntryLba = disk.mainTableStart;
  primary.numberOfPartitionEntries = disk.entries;
  e2e::GptHeaderText backup = primary;
  backup.myLba = lastLba;
  backup.alternateLba = 1;
  backup.partitionEntryLba = lastLba - entrySectors;
  for (auto [header, at] :
       {std::pair{&primary, image.layout().primaryGptHeader}, std::pair{&backup, image.layout().backupGptHeader}}) {
    header->headerCrc32 = stored(at, gpt_header_field::kHeaderCrc32);
    header->partitionEntryArrayCrc32 = stored(at, gpt_header_field::kPartitionEntryArrayCrc32);
  }
  return {primary, backup};
}

// The output from the primary GPT on: both GPTs and the verification.
std::string FromThePrimaryGpt(const std::string& out) {
  const std::size_t at = out.find("GPT EFI Header and partition entries\n");
  return at == std::string::npos ? out : out.substr(at);
}

TEST_P(SgdiskLayouts, BothToolsShowTheSamePartitionsAndVerifyClean) {
  const PluginImage image = MakeDisk(GetParam());
  image.WriteTo(image_);
  const ProgramRun verify = Sgdisk({"-v"});
  ASSERT_NE(verify.out.find("No problems found."), std::string::npos) << verify.out << verify.err;
  const SgdiskDisk disk = ReadWithSgdisk();
  ExpectAsAsked(GetParam(), disk);
  if (HasFatalFailure()) return;

  // The walk of an entry array ends at the first unused entry: the tool shows
  // the partitions that come before the first gap in the numbering.
  std::vector<e2e::EntryText> entries;
  for (const SgdiskShows& p : disk.partitions) {
    if (p.number != static_cast<int>(entries.size()) + 1) break;
    entries.push_back(AsToolPrints(p));
  }
  // Both GPTs, their entries as sgdisk lists them, and no check fails: the
  // four headings and nothing under them.
  const auto [primary, backup] = HeadersOf(disk, image);
  const std::string out = Inspect();
  EXPECT_EQ(FromThePrimaryGpt(out), "GPT EFI Header and partition entries\n" + e2e::EfiHeaderReport(primary) +
                                        e2e::EntriesReport(entries) + "\n" +
                                        "GPT trailer partition entries and EFI Header\n" + e2e::EntriesReport(entries) +
                                        e2e::EfiHeaderReport(backup) + e2e::Verification({}));

  // The protective MBR that sgdisk -O shows: its first record.
  const Report report = ParseReport(out);
  std::string type = "0x" + disk.mbrCode;
  for (char& c : type) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  EXPECT_EQ(report.ValueAfter("\t\tType:           "), type);
  EXPECT_EQ(report.NumberAfter("\t\tSectorOffset:   "), disk.mbrStart);
  EXPECT_EQ(report.NumberAfter("\t\tSectorCount:    "), disk.mbrEnd - disk.mbrStart + 1);
}

INSTANTIATE_TEST_SUITE_P(Layouts, SgdiskLayouts, ::testing::ValuesIn(kLayouts),
                         [](const ::testing::TestParamInfo<DiskLayout>& info) { return TestName(info.param.name); });

std::uint32_t GptHeaderChecksum(const PluginImage& image, std::uint64_t header) {
  const auto view = image.View(header, kGptHeaderSize);
  std::vector<std::byte> bytes(view.begin(), view.end());
  for (std::uint32_t i = 0; i < gpt_header_field::kHeaderCrc32.width; ++i) {
    bytes[gpt_header_field::kHeaderCrc32.offset + i] = std::byte{0};
  }
  return Crc32(bytes);
}

// A byte changed by hand behind a checksum, on the Windows disk that sgdisk
// wrote: sgdisk finds the checksum wrong, and the tool prints the stored and
// the calculated value under the heading of that copy and nothing else. A
// value that the headers share, changed in one of them, is also reported
// where the two headers are compared: the comparison runs whatever the
// checksums say.
TEST_F(SgdiskAgreement, ABrokenChecksumIsReportedByBoth) {
  struct ChecksumDamage {
    const char* name;
    bool backup;
    bool header;  // else the entry array
    const char* sgdiskSays;
    bool lastUsableLbaRaised = false;  // in the header, else a byte that the tool compares nowhere
  };
  const ChecksumDamage damages[] = {
      {"backup header", true, true, "Backup header: ERROR"},
      {"backup entry array", true, false, "Backup partition table: ERROR"},
      {"primary header", false, true, "Main header: ERROR"},
      {"primary entry array", false, false, "Main partition table: ERROR"},
      {"backup header's last usable LBA", true, true, "Backup header: ERROR", true},
  };
  for (const ChecksumDamage& damage : damages) {
    SCOPED_TRACE(damage.name);
    PluginImage image = MakeDisk(kLayouts[0]);
    const auto& layout = image.layout();
    const std::uint64_t header = damage.backup ? layout.backupGptHeader : layout.primaryGptHeader;
    const std::uint64_t entries = damage.backup ? layout.backupGptEntries : layout.primaryGptEntries;
    if (damage.lastUsableLbaRaised) {
      image.Put(header, gpt_header_field::kLastUsableLba, image.Get(header, gpt_header_field::kLastUsableLba) + 1);
    } else if (damage.header) {
      // A byte of the disk GUID, which the tool compares nowhere.
      const std::uint64_t at = header + gpt_header_field::kDiskGuid.offset;
      image.Put8(at, static_cast<std::uint8_t>(image.Get(at, Field{0, 1}) ^ 0x40));
    } else {
      // The first letter of the first partition's name.
      image.Put8(entries + gpt_entry_field::kName.offset, 'e');
    }
    image.WriteTo(image_);
    WriteRawDisk(image, raw_);

    const ProgramRun verify = Sgdisk({"-v"});
    EXPECT_NE((verify.out + verify.err).find(damage.sgdiskSays), std::string::npos) << verify.out << verify.err;

    const Field checksum = damage.header ? gpt_header_field::kHeaderCrc32 : gpt_header_field::kPartitionEntryArrayCrc32;
    const std::uint64_t stored = image.Get(header, checksum);
    const std::uint32_t calculated =
        damage.header ? GptHeaderChecksum(image, header) : Crc32(image.View(entries, kGptEntryArraySize));
    std::map<std::string, VerificationLines> expected = {
        {"Verifying the EFI header", {}},
        {"Verifying the EFI trailer", {}},
        {"Verifying the EFI LBA entries", {}},
        {"Verifying the PartitionEntryArrayCRC32", {}},
    };
    expected[damage.backup ? "Verifying the EFI trailer" : "Verifying the EFI header"] = {
        damage.header ? "\tHeaderCRC32 is invalid.  " : "\tPartitionEntryArrayCRC32 is invalid.  ",
        "\t\tHeader value:     " + Hex(stored),
        "\t\tCalculated value: " + Hex(calculated),
    };
    if (damage.lastUsableLbaRaised) {
      const auto lastUsable = [&image](std::uint64_t at) { return image.Get(at, gpt_header_field::kLastUsableLba); };
      expected["Verifying the EFI LBA entries"] = {
          "\tpEfiHeader->LastUsableLBA is invalid.  ",
          "\t\tHeader value:     " + Hex(lastUsable(layout.primaryGptHeader)),
          "\t\tTrailer value:    " + Hex(lastUsable(layout.backupGptHeader)),
      };
    }
    EXPECT_EQ(ParseReport(Inspect()).Verification(), expected);
  }
}

// A backup header changed by hand with its checksum made right again: both
// tools find that the two headers disagree, and on the same two numbers.
TEST_F(SgdiskAgreement, HeadersThatDisagreeAreReportedByBothWithTheSameNumbers) {
  struct Disagreement {
    const char* name;
    Field field;  // of the backup header
    std::int64_t change;
    const char* sgdiskPattern;  // two groups: the primary's value, then the backup's
    const char* message;
  };
  const Disagreement disagreements[] = {
      {"first usable LBA", gpt_header_field::kFirstUsableLba, +1,
       R"(main GPT header's first usable LBA pointer \((\d+)\) doesn't\s+match the backup GPT header's first usable LBA pointer \((\d+)\))",
       "\tpEfiHeader->FirstUsableLBA is invalid.  "},
      {"last usable LBA", gpt_header_field::kLastUsableLba, -1,
       R"(main GPT header's last usable LBA pointer \((\d+)\) doesn't\s+match the backup GPT header's last usable LBA pointer \((\d+)\))",
       "\tpEfiHeader->LastUsableLBA is invalid.  "},
      {"the backup's alternate LBA", gpt_header_field::kAlternateLba, +7,
       R"(main GPT header's current LBA pointer \((\d+)\) doesn't\s+match the backup GPT header's alternate LBA pointer ?\((\d+)\))",
       "\tpEfiHeader->MyLBA is invalid.  "},
      {"the backup's own LBA", gpt_header_field::kMyLba, -5,
       R"(main GPT header's backup LBA pointer \((\d+)\) doesn't\s+match the backup GPT header's current LBA pointer \((\d+)\))",
       "\tpEfiHeader->AlternateLBA is invalid.  "},
  };
  for (const Disagreement& d : disagreements) {
    SCOPED_TRACE(d.name);
    PluginImage image = MakeDisk(kLayouts[0]);
    const std::uint64_t backup = image.layout().backupGptHeader;
    image.PutInGptHeader(GptCopy::kBackup, d.field, image.Get(backup, d.field) + static_cast<std::uint64_t>(d.change));
    image.WriteTo(image_);
    WriteRawDisk(image, raw_);

    const ProgramRun verify = Sgdisk({"-v"});
    const std::string said = verify.out + verify.err;
    const std::smatch numbers = Search(said, d.sgdiskPattern);
    ASSERT_EQ(numbers.size(), 3u) << "sgdisk -v does not give the two values:\n" << said;

    const VerificationLines expected = {
        d.message,
        "\t\tHeader value:     " + Hex(Group(numbers, 1)),
        "\t\tTrailer value:    " + Hex(Group(numbers, 2)),
    };
    const auto verification = ParseReport(Inspect()).Verification();
    EXPECT_EQ(verification.size(), 4u);
    for (const auto& [heading, lines] : verification) {
      EXPECT_EQ(lines, heading == "Verifying the EFI LBA entries" ? expected : VerificationLines{}) << heading;
    }
  }
}

}  // namespace
}  // namespace agreement
