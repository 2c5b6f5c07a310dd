// A GPT header and its entry array decoded: where each field lies, which
// entries are used, how a partition name becomes UTF-8, and the type's name
// with whether the partition name fits it.
#include "partition/gpt_decode.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "gpt_fixture.h"
#include "record_printers.h"

namespace vhdx_inspect::detail::partition {
namespace {

using namespace vhdx_inspect::detail::partition::testing;

vhdx_inspect::GptRecord Decode(const HeaderBytes& header, const EntryArray& entries) {
  return DecodeGpt(EfiHeaderBytes(header), GptEntryArrayBytes(entries));
}

vhdx_inspect::GptRecord DecodeEntries(const EntryArray& entries) { return Decode(HeaderBytes{}, entries); }

std::array<std::uint8_t, 16> Sequence(std::uint8_t first) {
  std::array<std::uint8_t, 16> bytes{};
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(first + i);
  return bytes;
}

// Every field its own value, every byte of a wide field its own byte, so
// that a field read at a wrong offset or width shows.
TEST(DecodeGpt, EachHeaderFieldAtItsOffset) {
  HeaderBytes header{};
  PutText(header, 0, "EFI PART");
  Put32(header, 8, 0x00010000);
  Put32(header, 12, 0x5C);
  Put32(header, 16, 0xDEADBEEF);
  Put32(header, 20, 0xFFFFFFFF);  // reserved: belongs to no field
  Put64(header, 24, 0x0102030405060708);
  Put64(header, 32, 0x1112131415161718);
  Put64(header, 40, 0x2122232425262728);
  Put64(header, 48, 0x3132333435363738);
  for (std::size_t i = 0; i < 16; ++i) header[56 + i] = static_cast<std::byte>(0x40 + i);
  Put64(header, 72, 0x5152535455565758);
  Put32(header, 80, 0x61626364);
  Put32(header, 84, 0x71727374);
  Put32(header, 88, 0x81828384);

  const vhdx_inspect::GptRecord gpt = Decode(header, EntryArray{});
  EXPECT_EQ(gpt.signature, (std::array<std::uint8_t, 8>{'E', 'F', 'I', ' ', 'P', 'A', 'R', 'T'}));
  EXPECT_EQ(gpt.revision, 0x00010000u);
  EXPECT_EQ(gpt.header_size, 0x5Cu);
  EXPECT_EQ(gpt.header_crc32, 0xDEADBEEFu);
  EXPECT_EQ(gpt.my_lba, 0x0102030405060708u);
  EXPECT_EQ(gpt.alternate_lba, 0x1112131415161718u);
  EXPECT_EQ(gpt.first_usable_lba, 0x2122232425262728u);
  EXPECT_EQ(gpt.last_usable_lba, 0x3132333435363738u);
  EXPECT_EQ(gpt.disk_guid.bytes, Sequence(0x40));
  EXPECT_EQ(gpt.partition_entry_lba, 0x5152535455565758u);
  EXPECT_EQ(gpt.number_of_partition_entries, 0x61626364u);
  EXPECT_EQ(gpt.size_of_partition_entry, 0x71727374u);
  EXPECT_EQ(gpt.partition_entry_array_crc32, 0x81828384u);
  EXPECT_TRUE(gpt.entries.empty());
}

TEST(DecodeGpt, AllZeroHeaderAndArrayDecodeToZeros) {
  EXPECT_EQ(Decode(HeaderBytes{}, EntryArray{}), vhdx_inspect::GptRecord{});
}

// The signature is the eight bytes as stored, a zero byte and what follows it
// included; nothing in it is checked here.
TEST(DecodeGpt, SignatureIsTheEightBytesAsStored) {
  HeaderBytes header{};
  PutText(header, 0, "EF");
  PutText(header, 3, "XPART");
  header[8] = std::byte{'X'};
  EXPECT_EQ(Decode(header, EntryArray{}).signature,
            (std::array<std::uint8_t, 8>{'E', 'F', 0, 'X', 'P', 'A', 'R', 'T'}));
}

// A basic data entry whose first LBA is its index + 1; seed 0 makes its
// unique GUID all zeros.
void PutNumbered(EntryArray& entries, std::size_t index, std::uint8_t seed) {
  PutEntry(entries, index, Entry{kBasicDataType, seed, index + 1, index + 1, 0, u"Basic data partition"});
}

// The used entries are those before the first one whose unique GUID is all
// zeros; the type GUID plays no part.
TEST(DecodeGpt, UsedEntriesEndAtTheFirstZeroUniqueGuid) {
  struct Case {
    const char* what;
    void (*fill)(EntryArray&);
    std::vector<std::uint64_t> firstLbas;
  };
  std::vector<std::uint64_t> all(kGptEntryCount);
  for (std::size_t i = 0; i < all.size(); ++i) all[i] = i + 1;
  const Case cases[] = {
      {"no used entry", [](EntryArray&) {}, {}},
      {"first entry unused, the second used", [](EntryArray& e) { PutNumbered(e, 1, 2); }, {}},
      {"an unused entry between used ones",
       [](EntryArray& e) {
         PutNumbered(e, 0, 1);
         PutNumbered(e, 1, 2);
         PutNumbered(e, 2, 0);
         PutNumbered(e, 3, 4);
       },
       {1, 2}},
      {"an all-zero type GUID",
       [](EntryArray& e) {
         PutEntry(e, 0, Entry{{}, 1, 1, 1, 0, u"zero type"});
       },
       {1}},
      {"a unique GUID with only its first or only its last byte set",
       [](EntryArray& e) {
         PutNumbered(e, 0, 0);
         e[16] = std::byte{1};
         PutNumbered(e, 1, 0);
         e[kGptEntrySize + 31] = std::byte{1};
       },
       {1, 2}},
      {"every entry used",
       [](EntryArray& e) {
         for (std::size_t i = 0; i < kGptEntryCount; ++i) PutNumbered(e, i, static_cast<std::uint8_t>(i + 1));
       },
       all},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EntryArray entries{};
    c.fill(entries);
    std::vector<std::uint64_t> firstLbas;
    for (const vhdx_inspect::GptEntryRecord& entry : DecodeEntries(entries).entries)
      firstLbas.push_back(entry.first_lba);
    EXPECT_EQ(firstLbas, c.firstLbas);
  }
}

// Entry n begins at n × 128 bytes; its fields at 0, 16, 32, 40, 48 and 56.
TEST(DecodeGpt, EachEntryFieldAtItsOffset) {
  EntryArray entries{};
  for (std::size_t i = 0; i < 5; ++i) PutEntry(entries, i, Entry{kBasicDataType, 1, 0, 0, 0, u"filler"});
  PutEntry(entries, 5, Entry{kOtherType, 0x21, 0x0102030405060708, 0x1112131415161718, 0x8000000000000001, u"Named"});

  const vhdx_inspect::GptRecord gpt = DecodeEntries(entries);
  ASSERT_EQ(gpt.entries.size(), 6u);
  const vhdx_inspect::GptEntryRecord& entry = gpt.entries[5];
  EXPECT_EQ(entry.type_guid.bytes, kOtherType);
  EXPECT_EQ(entry.unique_guid.bytes, Sequence(0x21));
  EXPECT_EQ(entry.first_lba, 0x0102030405060708u);
  EXPECT_EQ(entry.last_lba, 0x1112131415161718u);
  EXPECT_EQ(entry.attributes, 0x8000000000000001u);
  EXPECT_EQ(entry.name, "Named");
}

// The name's UTF-16 code units up to the first zero unit, at most 36 of
// them, as UTF-8 (a lone surrogate becomes U+FFFD). The entry after the one
// decoded begins with the bytes 00 DE: read as a unit right after a full
// name, they would be a low surrogate.
TEST(DecodeGpt, PartitionNameAsUtf8) {
  struct Case {
    const char* what;
    std::u16string name;
    std::string decoded;
  };
  const Case cases[] = {
      {"ASCII", u"Basic data partition", "Basic data partition"},
      {"empty", u"", ""},
      {"a unit up to 0xFF", u"anything \u00e9", "anything \xC3\xA9"},
      {"a unit above 0xFF", u"Basic data partition\u0416", "Basic data partition\xD0\x96"},
      {"a surrogate pair", u"pair \U0001F600", "pair \xF0\x9F\x98\x80"},
      {"a lone surrogate", u"lone \xD800 surrogate", "lone \xEF\xBF\xBD surrogate"},
      {"units after the first zero unit", std::u16string(u"ab\0cd", 5), "ab"},
      {"36 units without a terminator", std::u16string(36, u'N'), std::string(36, 'N')},
      {"a high surrogate as the 36th unit", std::u16string(35, u'a') + u'\xD83D',
       std::string(35, 'a') + "\xEF\xBF\xBD"},
  };
  std::array<std::uint8_t, 16> nextType{0x00, 0xDE};
  nextType.back() = 0x11;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EntryArray entries{};
    PutEntry(entries, 0, Entry{kOtherType, 1, 0, 0, 0, c.name});
    PutEntry(entries, 1, Entry{nextType, 0x41, 0, 0, 0, u"next"});
    const vhdx_inspect::GptRecord gpt = DecodeEntries(entries);
    ASSERT_EQ(gpt.entries.size(), 2u);
    EXPECT_EQ(gpt.entries[0].name, c.decoded);
  }
}

// A known type names itself and expects a name: the name fits when its first
// units are the expected name's characters, whatever follows them. A type
// matches only on all 16 bytes; an unknown type's name is not looked at.
TEST(DecodeGptEntry, TypeNameAndWhetherTheNameFitsIt) {
  struct Case {
    std::array<std::uint8_t, 16> type;
    std::u16string name;
    const char* typeName;
    bool fits;
  };
  std::array<std::uint8_t, 16> almostBasicData = kBasicDataType;
  almostBasicData.back() ^= 0x01;
  std::array<std::uint8_t, 16> almostEfiSystem = kEfiSystemType;
  almostEfiSystem.front() ^= 0x80;
  const Case cases[] = {
      {kBasicDataType, u"Basic data partition", "Data partition", true},
      {kBasicDataType, u"Basic data partition 2", "Data partition", true},
      {kBasicDataType, u"Basic data partition\u0416", "Data partition", true},
      {kBasicDataType, u"Basic Data partition", "Data partition", false},
      {kBasicDataType, u"Basic data", "Data partition", false},
      {kBasicDataType, u"EFI system partition", "Data partition", false},
      {kReservedType, u"Microsoft reserved partition", "Microsoft reserved partition", true},
      {kReservedType, u"Microsoft reserved", "Microsoft reserved partition", false},
      {kEfiSystemType, u"EFI system partition", "EFI system partition", true},
      {kEfiSystemType, u"", "EFI system partition", false},
      {kEfiSystemType, u"EFI \u0416ystem partition", "EFI system partition", false},
      // A unit whose low byte is the expected character is still another unit.
      {kEfiSystemType, u"EFI \u0473ystem partition", "EFI system partition", false},
      {kOtherType, u"", "Unknown partition type", true},
      {kOtherType, u"anything \u00e9", "Unknown partition type", true},
      {kOtherType, u"pair \U0001F600", "Unknown partition type", true},
      {kOtherType, u"lone \xD800 surrogate", "Unknown partition type", true},
      {{}, u"Basic data partition", "Unknown partition type", true},
      {almostBasicData, u"", "Unknown partition type", true},
      {almostEfiSystem, u"", "Unknown partition type", true},
  };
  for (const Case& c : cases) {
    EntryArray entries{};
    PutEntry(entries, 0, Entry{c.type, 1, 0, 0, 0, c.name});
    const vhdx_inspect::GptEntryRecord entry =
        DecodeGptEntry(*encoding::LoadRecord<GPT_PARTITION_ENTRY>(std::span<const std::byte>(entries)));
    SCOPED_TRACE(entry.name);
    EXPECT_EQ(entry.type_name, c.typeName);
    EXPECT_EQ(entry.name_fits_type, c.fits);
    EXPECT_EQ(DecodeEntries(entries).entries.at(0), entry);
  }
}

}  // namespace
}  // namespace vhdx_inspect::detail::partition
