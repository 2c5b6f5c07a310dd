#include "views/text/gpt_report.h"

#include <gtest/gtest.h>

#include <sstream>

#include "gpt_fixture.h"
#include "partition/gpt_decode.h"

namespace vhdx_inspect::detail::partition {
namespace {

using namespace vhdx_inspect::detail::partition::testing;

std::string EntriesReport(const EntryArray& entries) {
  std::ostringstream out;
  const HeaderBytes header{};
  vhdx_inspect::views::text::PrintGptPartitionEntries(
      DecodeGpt(EfiHeaderBytes(header), GptEntryArrayBytes(entries)).entries, out);
  return out.str();
}

std::string HeaderReport(const HeaderBytes& header) {
  std::ostringstream out;
  const EntryArray entries{};
  vhdx_inspect::views::text::PrintEfiHeader(DecodeGpt(EfiHeaderBytes(header), GptEntryArrayBytes(entries)), out);
  return out.str();
}

TEST(PrintEfiHeader, ValidHeader) {
  const EntryArray entries{};
  HeaderBytes header = MakeHeader(Header{}, entries);
  Put32(header, 16, 0xDEADBEEF);
  Put32(header, 88, 0xAB54D286);
  EXPECT_EQ(HeaderReport(header),
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
  EXPECT_EQ(HeaderReport(HeaderBytes{}), expected);
}

TEST(PrintEfiHeader, SignatureIsTextUpToItsFirstZeroByte) {
  HeaderBytes header{};
  PutText(header, 0, "EFI PART");
  header[8] = std::byte{'X'};  // Revision bytes right after the signature
  EXPECT_NE(HeaderReport(header).find("\tSignature:                  EFI PART\n"), std::string::npos);
  PutText(header, 0, "EF");
  header[2] = std::byte{0};
  EXPECT_NE(HeaderReport(header).find("\tSignature:                  EF\n"), std::string::npos);
}

TEST(PrintGptPartitionEntries, FirstEntryUnusedPrintsNothing) {
  EntryArray entries{};
  PutEntry(entries, 1, Entry{kBasicDataType, 1, 34, 100, 0, u"Basic data partition"});
  EXPECT_EQ(EntriesReport(entries), "");
}

TEST(PrintGptPartitionEntries, PrintsUsedEntriesUpToTheFirstUnusedOne) {
  EntryArray entries{};
  PutEntry(entries, 0, Entry{kEfiSystemType, 1, 0x800, 0x327FF, 0x8000000000000001, u"EFI system partition"});
  PutEntry(entries, 1, Entry{{}, 2, 0x32800, 0x327FF, 0, u"zero type"});
  PutEntry(entries, 2, Entry{kBasicDataType, 0, 1, 2, 0, u"after the end"});
  PutEntry(entries, 3, Entry{kBasicDataType, 3, 1, 2, 0, u"not reached"});
  EXPECT_EQ(EntriesReport(entries),
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

TEST(PrintGptPartitionEntries, AFullArrayPrints128EntriesNumberedInDecimal) {
  EntryArray entries{};
  for (std::size_t i = 0; i < kGptEntryCount; ++i) {
    PutEntry(entries, i, Entry{kOtherType, static_cast<std::uint8_t>(i + 1), i, i, 0, u"x"});
  }
  const std::string report = EntriesReport(entries);
  EXPECT_NE(report.find("\n\tGPT Partition Entry 128\n"), std::string::npos);
  EXPECT_EQ(report.find("\n\tGPT Partition Entry 129\n"), std::string::npos);
  EXPECT_NE(report.find("\n\tGPT Partition Entry 10\n"), std::string::npos);
}

struct NameCase {
  std::array<std::uint8_t, 16> type;
  std::u16string name;
  const char* printedType;
  std::string printedName;
  bool invalid;
};

TEST(PrintGptPartitionEntry, NameCheckForTheKnownTypes) {
  const NameCase cases[] = {
      {kBasicDataType, u"Basic data partition", "Data partition", "Basic data partition", false},
      {kBasicDataType, u"Basic data partition 2", "Data partition", "Basic data partition 2", false},
      {kBasicDataType, u"Basic Data partition", "Data partition", "Basic Data partition", true},
      {kBasicDataType, u"Basic data", "Data partition", "Basic data", true},
      {kReservedType, u"Microsoft reserved partition", "Microsoft reserved partition", "Microsoft reserved partition",
       false},
      {kReservedType, u"Microsoft reserved", "Microsoft reserved partition", "Microsoft reserved", true},
      {kEfiSystemType, u"", "EFI system partition", "", true},
      {kEfiSystemType, u"EFI system partition", "EFI system partition", "EFI system partition", false},
      {kOtherType, u"", "Unknown partition type", "", false},
      {kOtherType, u"anything \u00e9", "Unknown partition type", "anything \xe9", false},
      {kBasicDataType, u"Basic data partition\u0416", "Data partition", "Basic data partition?", false},
      {kEfiSystemType, u"EFI \u0416ystem partition", "EFI system partition", "EFI ?ystem partition", true},
      {kOtherType, u"pair \U0001F600", "Unknown partition type", "pair ??", false},
      {kOtherType, u"lone \xD800 surrogate", "Unknown partition type", "lone ? surrogate", false},
  };
  for (const NameCase& c : cases) {
    EntryArray entries{};
    PutEntry(entries, 0, Entry{c.type, 1, 0, 0, 0, c.name});
    std::ostringstream out;
    vhdx_inspect::views::text::PrintGptPartitionEntry(
        DecodeGptEntry(*vhdx_inspect::detail::encoding::LoadRecord<GPT_PARTITION_ENTRY>(entries)), out);
    const std::string expected = std::string("\t\tPartition Type:  ") + c.printedType + "\n" +
                                 "\t\tFirstLBA:        0\n\t\tLastLBA:         0\n\t\tAttributes:      0\n" +
                                 "\t\tPartitionName:   " + c.printedName + "\n" +
                                 (c.invalid ? "\t\t\tPartitionName is invalid.  \n" : "");
    EXPECT_EQ(out.str(), expected) << c.printedName;
  }
}

TEST(PrintGptPartitionEntry, NameOf36UnitsWithoutTerminatorStopsAtTheEntry) {
  EntryArray entries{};
  const std::u16string name(36, u'N');
  PutEntry(entries, 0, Entry{kOtherType, 1, 0, 0, 0, name});
  PutEntry(entries, 1, Entry{kOtherType, 0x41, 0, 0, 0, u"next"});  // bytes right after the name
  const auto entry = vhdx_inspect::detail::encoding::LoadRecord<GPT_PARTITION_ENTRY>(entries);
  EXPECT_EQ(DecodeGptEntry(*entry).name, std::string(36, 'N'));
}

}  // namespace
}  // namespace vhdx_inspect::detail::partition
