// The GPT reports as the text program prints them, from GPT records and
// findings made here: the header's labels and signature text, the entry
// blocks numbered in decimal, the partition name one byte per UTF-16 unit
// ('?' for a unit above 0xFF) with the invalid-name line, and the four
// sections of the verification with each finding's lines and values.
#include "views/text/gpt_report.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "views/text/number_format.h"

namespace vhdx_inspect::views::text {
namespace {

using vhdx_inspect::Check;
using vhdx_inspect::Finding;
using vhdx_inspect::GptEntryRecord;
using vhdx_inspect::GptRecord;
using vhdx_inspect::GptSide;

constexpr std::array<std::uint8_t, 8> kEfiPart{'E', 'F', 'I', ' ', 'P', 'A', 'R', 'T'};

std::string HeaderReport(const GptRecord& gpt) {
  std::ostringstream out;
  PrintEfiHeader(gpt, out);
  return out.str();
}

TEST(PrintEfiHeader, ValidHeader) {
  GptRecord gpt;
  gpt.signature = kEfiPart;
  gpt.revision = 0x00010000;
  gpt.header_size = 92;
  gpt.header_crc32 = 0xDEADBEEF;
  gpt.my_lba = 1;
  gpt.alternate_lba = 0x1FFFFF;
  gpt.first_usable_lba = 34;
  gpt.last_usable_lba = 0x1FFFDE;
  gpt.disk_guid.bytes.fill(0x40);  // not printed
  gpt.partition_entry_lba = 2;
  gpt.number_of_partition_entries = 128;
  gpt.size_of_partition_entry = 128;
  gpt.partition_entry_array_crc32 = 0xAB54D286;
  gpt.entries.push_back(GptEntryRecord{});  // printed by PrintGptPartitionEntries, not here
  EXPECT_EQ(HeaderReport(gpt),
            "\nEFI Header \n\n"
            "\tSignature:                  EFI PART\n"
            "\tRevision:                   0x10000\n"
            "\tHeaderSize:                 0x5c\n"
            "\tHeaderCRC32:                0xdeadbeef\n"
            "\tMyLBA:                      0x1\n"
            "\tAlternateLBA:               0x1fffff\n"
            "\tFirstUsableLBA:             0x22\n"
            "\tLastUsableLBA:              0x1fffde\n"
            "\tPartitionEntryLBA:          0x2\n"
            "\tNumberOfPartitionEntries:   0x80\n"
            "\tSizeOfPartitionEntry:       0x80\n"
            "\tPartitionEntryArrayCRC32:   0xab54d286\n");
}

TEST(PrintEfiHeader, AllZeroHeaderPrintsEmptySignatureAndBareZeros) {
  std::string expected = "\nEFI Header \n\n\tSignature:                  \n";
  for (const char* label :
       {"Revision:                   ", "HeaderSize:                 ", "HeaderCRC32:                ",
        "MyLBA:                      ", "AlternateLBA:               ", "FirstUsableLBA:             ",
        "LastUsableLBA:              ", "PartitionEntryLBA:          ", "NumberOfPartitionEntries:   ",
        "SizeOfPartitionEntry:       ", "PartitionEntryArrayCRC32:   "}) {
    expected += std::string("\t") + label + "0\n";
  }
  EXPECT_EQ(HeaderReport(GptRecord{}), expected);
}

// 64-bit fields print all their digits.
TEST(PrintEfiHeader, WideLbasPrintInFull) {
  GptRecord gpt;
  gpt.my_lba = 0x0102030405060708;
  gpt.partition_entry_lba = 0xFFFFFFFFFFFFFFFF;
  const std::string report = HeaderReport(gpt);
  EXPECT_NE(report.find("\tMyLBA:                      0x102030405060708\n"), std::string::npos);
  EXPECT_NE(report.find("\tPartitionEntryLBA:          0xffffffffffffffff\n"), std::string::npos);
}

// The signature's text is its bytes up to the first zero byte, all eight
// when there is none.
TEST(PrintEfiHeader, SignatureIsTextUpToItsFirstZeroByte) {
  struct Case {
    std::array<std::uint8_t, 8> signature;
    std::string line;
  };
  const Case cases[] = {
      {kEfiPart, "\tSignature:                  EFI PART\n"},
      {{'E', 'F', 0, 'X', 'P', 'A', 'R', 'T'}, "\tSignature:                  EF\n"},
      {{0, 'F', 'I', ' ', 'P', 'A', 'R', 'T'}, "\tSignature:                  \n"},
  };
  for (const Case& c : cases) {
    GptRecord gpt;
    gpt.signature = c.signature;
    const std::string report = HeaderReport(gpt);
    EXPECT_NE(report.find("\n\n" + c.line + "\tRevision:"), std::string::npos) << c.line;
  }
}

TEST(PrintEfiHeader, LeavesHexadecimalWithThePrefixInForce) {
  std::ostringstream out;
  PrintEfiHeader(GptRecord{}, out);
  out.str("");
  out << InCurrentBase(26);
  EXPECT_EQ(out.str(), "0x1a");
}

// An entry as the decoder gives it: the type's name, the name as UTF-8.
GptEntryRecord Entry(std::string_view typeName, std::string name, bool fits = true) {
  GptEntryRecord entry;
  entry.unique_guid.bytes[0] = 1;
  entry.type_name = typeName;
  entry.name = std::move(name);
  entry.name_fits_type = fits;
  return entry;
}

std::string EntriesReport(const std::vector<GptEntryRecord>& entries) {
  std::ostringstream out;
  PrintGptPartitionEntries(entries, out);
  return out.str();
}

TEST(PrintGptPartitionEntries, NoEntriesPrintNothing) { EXPECT_EQ(EntriesReport({}), ""); }

TEST(PrintGptPartitionEntries, OneBlockPerEntry) {
  GptEntryRecord efi = Entry("EFI system partition", "EFI system partition");
  efi.first_lba = 0x800;
  efi.last_lba = 0x327FF;
  efi.attributes = 0x8000000000000001;
  GptEntryRecord unknown = Entry("Unknown partition type", "zero type");
  unknown.first_lba = 0x32800;
  unknown.last_lba = 0x327FF;
  EXPECT_EQ(EntriesReport({efi, unknown}),
            "\n\tGPT Partition Entry 1\n\n"
            "\t\tPartition Type:  EFI system partition\n"
            "\t\tFirstLBA:        0x800\n"
            "\t\tLastLBA:         0x327ff\n"
            "\t\tAttributes:      0x8000000000000001\n"
            "\t\tPartitionName:   EFI system partition\n"
            "\n\tGPT Partition Entry 2\n\n"
            "\t\tPartition Type:  Unknown partition type\n"
            "\t\tFirstLBA:        0x32800\n"
            "\t\tLastLBA:         0x327ff\n"
            "\t\tAttributes:      0\n"
            "\t\tPartitionName:   zero type\n");
}

// The entry numbers are decimal even where earlier lines left hexadecimal
// with the prefix in force, as the header and the MBR report do.
TEST(PrintGptPartitionEntries, AFullArrayPrints128EntriesNumberedInDecimal) {
  const std::vector<GptEntryRecord> entries(128, Entry("Unknown partition type", "x"));
  std::ostringstream out;
  out << std::hex << std::showbase;
  PrintGptPartitionEntries(entries, out);
  const std::string report = out.str();
  EXPECT_NE(report.find("\n\tGPT Partition Entry 1\n"), std::string::npos);
  EXPECT_NE(report.find("\n\tGPT Partition Entry 10\n"), std::string::npos);
  EXPECT_NE(report.find("\n\tGPT Partition Entry 128\n"), std::string::npos);
  EXPECT_EQ(report.find("\n\tGPT Partition Entry 129\n"), std::string::npos);
}

// The name is printed one byte per UTF-16 unit: a unit up to 0xFF as that
// byte, any other as '?' (so a pair, two units, as "??"); and the invalid-name
// line follows when the name does not fit its type.
TEST(PrintGptPartitionEntry, NameAndTheInvalidNameLine) {
  struct Case {
    const char* typeName;
    std::string name;  // UTF-8
    bool fits;
    std::string printedName;
  };
  const Case cases[] = {
      {"Data partition", "Basic data partition", true, "Basic data partition"},
      {"Data partition", "Basic data partition 2", true, "Basic data partition 2"},
      {"Data partition", "Basic Data partition", false, "Basic Data partition"},
      {"Data partition", "Basic data", false, "Basic data"},
      {"Microsoft reserved partition", "Microsoft reserved partition", true, "Microsoft reserved partition"},
      {"Microsoft reserved partition", "Microsoft reserved", false, "Microsoft reserved"},
      {"EFI system partition", "", false, ""},
      {"EFI system partition", "EFI system partition", true, "EFI system partition"},
      {"Unknown partition type", "", true, ""},
      {"Unknown partition type", "anything \xC3\xA9", true, "anything \xE9"},
      {"Data partition", "Basic data partition\xD0\x96", true, "Basic data partition?"},
      {"EFI system partition", "EFI \xD0\x96ystem partition", false, "EFI ?ystem partition"},
      {"Unknown partition type", "pair \xF0\x9F\x98\x80", true, "pair ??"},
      {"Unknown partition type", "lone \xEF\xBF\xBD surrogate", true, "lone ? surrogate"},
      {"Unknown partition type", "\xC2\x80\xC3\xBF\xC4\x80", true, "\x80\xFF?"},     // U+0080, U+00FF, U+0100
      {"Unknown partition type", "\xDF\xBF\xE0\xA0\x80", true, "??"},                // U+07FF, U+0800
      {"Unknown partition type", std::string(36, 'N'), true, std::string(36, 'N')},  // the longest name
      {"Unknown partition type", std::string(34, 'a') + "\xF0\x9F\x98\x80", true, std::string(34, 'a') + "??"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::ostringstream out;
    PrintGptPartitionEntry(Entry(c.typeName, c.name, c.fits), out);
    const std::string expected = std::string("\t\tPartition Type:  ") + c.typeName + "\n" +
                                 "\t\tFirstLBA:        0\n\t\tLastLBA:         0\n\t\tAttributes:      0\n" +
                                 "\t\tPartitionName:   " + c.printedName + "\n" +
                                 (c.fits ? "" : "\t\t\tPartitionName is invalid.  \n");
    EXPECT_EQ(out.str(), expected);
  }
}

// The verification report: each heading after an empty line, then the lines
// of the findings that belong to its section.
std::string Sections(const std::string& header, const std::string& trailer, const std::string& lbas,
                     const std::string& arrays) {
  return "\nVerifying the EFI header\n" + header + "\nVerifying the EFI trailer\n" + trailer +
         "\nVerifying the EFI LBA entries\n" + lbas + "\nVerifying the PartitionEntryArrayCRC32\n" + arrays;
}

std::string Verification(const std::vector<Finding>& findings) {
  std::ostringstream out;
  PrintVerification(findings, out);
  return out.str();
}

// Findings as the library gives them; the report's lines come from the
// check and never from the description.
constexpr const char* kDescription = "A plain sentence that the text report does not print.";
Finding Own(Check check, GptSide side) { return Finding{check, side, kDescription, std::nullopt, std::nullopt}; }
Finding Own(Check check, GptSide side, std::uint64_t stored, std::uint64_t calculated) {
  return Finding{check, side, kDescription, stored, calculated};
}
Finding Across(Check check, std::uint64_t primary, std::uint64_t backup) {
  return Finding{check, std::nullopt, kDescription, primary, backup};
}

TEST(PrintVerification, NoFindingsPrintOnlyTheFourHeadings) { EXPECT_EQ(Verification({}), Sections("", "", "", "")); }

// A stored checksum is followed by the stored and the calculated value.
TEST(PrintVerification, HeaderSizeAndHeaderChecksumOfThePrimary) {
  EXPECT_EQ(Verification({Own(Check::kGptHeaderSize, GptSide::kPrimary),
                          Own(Check::kGptHeaderCrc, GptSide::kPrimary, 0x9A3B6E21, 0x5C0FFEE)}),
            Sections("\tHeaderSize is invalid.  \n"
                     "\tHeaderCRC32 is invalid.  \n"
                     "\t\tHeader value:     0x9a3b6e21\n"
                     "\t\tCalculated value: 0x5c0ffee\n",
                     "", "", ""));
}

TEST(PrintVerification, EntryArrayChecksumOfThePrimaryInTheFirstSectionOnly) {
  EXPECT_EQ(Verification({Own(Check::kGptEntryArrayCrc, GptSide::kPrimary, 0xAB54D286, 0x1234ABCD)}),
            Sections("\tPartitionEntryArrayCRC32 is invalid.  \n"
                     "\t\tHeader value:     0xab54d286\n"
                     "\t\tCalculated value: 0x1234abcd\n",
                     "", "", ""));
}

TEST(PrintVerification, TheSameCheckOnBothSidesInTheFirstTwoSections) {
  EXPECT_EQ(
      Verification({Own(Check::kGptNumberOfPartitionEntries, GptSide::kPrimary),
                    Own(Check::kGptNumberOfPartitionEntries, GptSide::kBackup)}),
      Sections("\tNumberOfPartitionEntries is invalid.  \n", "\tNumberOfPartitionEntries is invalid.  \n", "", ""));
}

// A comparison of the two headers is followed by the primary's and the
// backup's value.
TEST(PrintVerification, CrossedLbasInTheThirdSection) {
  EXPECT_EQ(Verification({Across(Check::kGptMyLba, 0x1, 0x1FFFFF), Across(Check::kGptAlternateLba, 0x1FFFFF, 0x1)}),
            Sections("", "",
                     "\tpEfiHeader->MyLBA is invalid.  \n"
                     "\t\tHeader value:     0x1\n"
                     "\t\tTrailer value:    0x1fffff\n"
                     "\tpEfiHeader->AlternateLBA is invalid.  \n"
                     "\t\tHeader value:     0x1fffff\n"
                     "\t\tTrailer value:    0x1\n",
                     ""));
}

TEST(PrintVerification, UsableLbasAndTheChecksumAgreement) {
  EXPECT_EQ(Verification({Across(Check::kGptFirstUsableLba, 0x22, 0x800),
                          Across(Check::kGptLastUsableLba, 0x1FFFDE, 0x1FF000),
                          Across(Check::kGptEntryArrayCrcAgreement, 0xAB54D286, 0x0BADF00D)}),
            Sections("", "",
                     "\tpEfiHeader->FirstUsableLBA is invalid.  \n"
                     "\t\tHeader value:     0x22\n"
                     "\t\tTrailer value:    0x800\n"
                     "\tpEfiHeader->LastUsableLBA is invalid.  \n"
                     "\t\tHeader value:     0x1fffde\n"
                     "\t\tTrailer value:    0x1ff000\n",
                     "\tpEfiHeader->PartitionEntryArrayCRC32 is invalid.  \n"
                     "\t\tHeader value:     0xab54d286\n"
                     "\t\tTrailer value:    0xbadf00d\n"));
}

// Every message, in the section of its finding; a zero value is a bare 0.
TEST(PrintVerification, AllZeroTrailer) {
  const GptSide backup = GptSide::kBackup;
  EXPECT_EQ(Verification({
                Own(Check::kGptSignature, backup),
                Own(Check::kGptRevision, backup),
                Own(Check::kGptHeaderSize, backup),
                Own(Check::kGptNumberOfPartitionEntries, backup),
                Own(Check::kGptSizeOfPartitionEntry, backup),
                Own(Check::kGptHeaderCrc, backup, 0, 0x5E7A8D01),
                Own(Check::kGptEntryArrayCrc, backup, 0, 0xAB54D286),
                Across(Check::kGptMyLba, 0x1, 0),
                Across(Check::kGptAlternateLba, 0x1FFFFF, 0),
                Across(Check::kGptFirstUsableLba, 0x22, 0),
                Across(Check::kGptLastUsableLba, 0x1FFFDE, 0),
                Across(Check::kGptEntryArrayCrcAgreement, 0x6C2F0E3B, 0),
            }),
            Sections("",
                     "\tSignature is invalid.  \n"
                     "\tRevision is invalid.  \n"
                     "\tHeaderSize is invalid.  \n"
                     "\tNumberOfPartitionEntries is invalid.  \n"
                     "\tSizeOfPartitionEntry is invalid.  \n"
                     "\tHeaderCRC32 is invalid.  \n"
                     "\t\tHeader value:     0\n"
                     "\t\tCalculated value: 0x5e7a8d01\n"
                     "\tPartitionEntryArrayCRC32 is invalid.  \n"
                     "\t\tHeader value:     0\n"
                     "\t\tCalculated value: 0xab54d286\n",
                     "\tpEfiHeader->MyLBA is invalid.  \n"
                     "\t\tHeader value:     0x1\n"
                     "\t\tTrailer value:    0\n"
                     "\tpEfiHeader->AlternateLBA is invalid.  \n"
                     "\t\tHeader value:     0x1fffff\n"
                     "\t\tTrailer value:    0\n"
                     "\tpEfiHeader->FirstUsableLBA is invalid.  \n"
                     "\t\tHeader value:     0x22\n"
                     "\t\tTrailer value:    0\n"
                     "\tpEfiHeader->LastUsableLBA is invalid.  \n"
                     "\t\tHeader value:     0x1fffde\n"
                     "\t\tTrailer value:    0\n",
                     "\tpEfiHeader->PartitionEntryArrayCRC32 is invalid.  \n"
                     "\t\tHeader value:     0x6c2f0e3b\n"
                     "\t\tTrailer value:    0\n"));
}

}  // namespace
}  // namespace vhdx_inspect::views::text
