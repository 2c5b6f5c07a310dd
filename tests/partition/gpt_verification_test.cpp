#include "partition/gpt_verification.h"

#include "views/text/gpt_report.h"

#include <gtest/gtest.h>

#include <sstream>

#include "gpt_fixture.h"

namespace vhdx_inspect::detail::partition {
namespace {

using namespace vhdx_inspect::detail::partition::testing;

constexpr const char* kHeadings[] = {"\nVerifying the EFI header\n", "\nVerifying the EFI trailer\n",
                                     "\nVerifying the EFI LBA entries\n", "\nVerifying the PartitionEntryArrayCRC32\n"};

// The verification report: what each of the four sections prints.
std::string Sections(const std::string& header, const std::string& trailer, const std::string& lbas,
                     const std::string& arrays) {
  return kHeadings[0] + header + kHeadings[1] + trailer + kHeadings[2] + lbas + kHeadings[3] + arrays;
}

struct Gpt {
  EntryArray primaryEntries{};
  EntryArray backupEntries{};
  HeaderBytes primary{};
  HeaderBytes backup{};

  std::string Verify() const {
    std::vector<vhdx_inspect::Finding> findings;
    VerifyGpt(EfiHeaderBytes(primary), GptEntryArrayBytes(primaryEntries), EfiHeaderBytes(backup),
              GptEntryArrayBytes(backupEntries), findings);
    std::ostringstream out;
    vhdx_inspect::views::text::PrintVerification(findings, out);
    return out.str();
  }
};

Gpt ConsistentGpt() {
  Gpt gpt;
  PutEntry(gpt.primaryEntries, 0, Entry{kBasicDataType, 1, 34, 0x1FFFDE, 0, u"Basic data partition"});
  gpt.backupEntries = gpt.primaryEntries;
  gpt.primary = MakeHeader(Header{}, gpt.primaryEntries);
  gpt.backup = MakeHeader(BackupOf(Header{}), gpt.backupEntries);
  return gpt;
}

std::string Hex(std::uint32_t value) {
  std::ostringstream out;
  out << "0x" << std::hex << value;
  return out.str();
}

TEST(VerifyGpt, ConsistentPairPrintsOnlyTheFourHeadings) {
  EXPECT_EQ(ConsistentGpt().Verify(), Sections("", "", "", ""));
}

TEST(VerifyGpt, HeaderSizeAbove92IsReportedAndTheChecksumCoversOnly92Bytes) {
  Gpt gpt = ConsistentGpt();
  Header header;
  header.headerSize = 96;
  gpt.primary = MakeHeader(header, gpt.primaryEntries);
  const std::uint32_t over92 = ZlibCrc32WithFieldZeroed(gpt.primary, 16);
  std::array<std::byte, 96> longer{};
  std::copy(gpt.primary.begin(), gpt.primary.end(), longer.begin());
  const std::uint32_t over96 = ZlibCrc32WithFieldZeroed(longer, 16);
  Put32(gpt.primary, 16, over96);

  EXPECT_EQ(gpt.Verify(), Sections("\tHeaderSize is invalid.  \n"
                                   "\tHeaderCRC32 is invalid.  \n"
                                   "\t\tHeader value:     " +
                                       Hex(over96) + "\n" + "\t\tCalculated value: " + Hex(over92) + "\n",
                                   "", "", ""));
}

TEST(VerifyGpt, EditedPrimaryArrayIsReportedInTheFirstSectionOnly) {
  Gpt gpt = ConsistentGpt();
  const std::uint32_t stored = ZlibCrc32(gpt.primaryEntries);
  PutEntry(gpt.primaryEntries, 1, Entry{kOtherType, 9, 1, 2, 0, u"added"});
  EXPECT_EQ(gpt.Verify(),
            Sections("\tPartitionEntryArrayCRC32 is invalid.  \n"
                     "\t\tHeader value:     " +
                         Hex(stored) + "\n" + "\t\tCalculated value: " + Hex(ZlibCrc32(gpt.primaryEntries)) + "\n",
                     "", "", ""));
}

TEST(VerifyGpt, TableOf256EntriesIsChecksummedOverTheFirst16384Bytes) {
  Gpt gpt = ConsistentGpt();
  Header header;
  header.entryCount = 256;
  gpt.primary = MakeHeader(header, gpt.primaryEntries);
  gpt.backup = MakeHeader(BackupOf(header), gpt.backupEntries);
  EXPECT_EQ(gpt.Verify(), Sections("\tNumberOfPartitionEntries is invalid.  \n",
                                   "\tNumberOfPartitionEntries is invalid.  \n", "", ""));
}

TEST(VerifyGpt, BackupThatIsAPlainCopyOfThePrimaryFailsBothCrossChecks) {
  Gpt gpt = ConsistentGpt();
  gpt.backup = gpt.primary;
  EXPECT_EQ(gpt.Verify(), Sections("", "",
                                   "\tpEfiHeader->MyLBA is invalid.  \n"
                                   "\t\tHeader value:     0x1\n"
                                   "\t\tTrailer value:    0x1fffff\n"
                                   "\tpEfiHeader->AlternateLBA is invalid.  \n"
                                   "\t\tHeader value:     0x1fffff\n"
                                   "\t\tTrailer value:    0x1\n",
                                   ""));
}

TEST(VerifyGpt, UsableLbasAndArrayChecksumsMustAgree) {
  Gpt gpt = ConsistentGpt();
  Header backup = BackupOf(Header{});
  backup.firstUsableLba = 0x800;
  backup.lastUsableLba = 0x1FF000;
  PutEntry(gpt.backupEntries, 1, Entry{kOtherType, 7, 1, 2, 0, u"only in the backup"});
  gpt.backup = MakeHeader(backup, gpt.backupEntries);
  EXPECT_EQ(gpt.Verify(), Sections("", "",
                                   "\tpEfiHeader->FirstUsableLBA is invalid.  \n"
                                   "\t\tHeader value:     0x22\n"
                                   "\t\tTrailer value:    0x800\n"
                                   "\tpEfiHeader->LastUsableLBA is invalid.  \n"
                                   "\t\tHeader value:     0x1fffde\n"
                                   "\t\tTrailer value:    0x1ff000\n",
                                   "\tpEfiHeader->PartitionEntryArrayCRC32 is invalid.  \n"
                                   "\t\tHeader value:     " +
                                       Hex(ZlibCrc32(gpt.primaryEntries)) + "\n" +
                                       "\t\tTrailer value:    " + Hex(ZlibCrc32(gpt.backupEntries)) + "\n"));
}

TEST(VerifyGpt, AllZeroTrailerFailsEveryCheckThatConcernsIt) {
  Gpt gpt = ConsistentGpt();
  gpt.backup = HeaderBytes{};
  gpt.backupEntries = EntryArray{};
  const HeaderBytes zeros{};
  const std::string zeroHeaderCrc = Hex(ZlibCrc32WithFieldZeroed(zeros, 16));
  const std::string zeroArrayCrc = Hex(ZlibCrc32(gpt.backupEntries));
  const std::string primaryArrayCrc = Hex(ZlibCrc32(gpt.primaryEntries));
  EXPECT_EQ(gpt.Verify(), Sections("",
                                   "\tSignature is invalid.  \n"
                                   "\tRevision is invalid.  \n"
                                   "\tHeaderSize is invalid.  \n"
                                   "\tNumberOfPartitionEntries is invalid.  \n"
                                   "\tSizeOfPartitionEntry is invalid.  \n"
                                   "\tHeaderCRC32 is invalid.  \n"
                                   "\t\tHeader value:     0\n"
                                   "\t\tCalculated value: " +
                                       zeroHeaderCrc + "\n" +
                                       "\tPartitionEntryArrayCRC32 is invalid.  \n"
                                       "\t\tHeader value:     0\n"
                                       "\t\tCalculated value: " +
                                       zeroArrayCrc + "\n",
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
                                   "\t\tHeader value:     " +
                                       primaryArrayCrc + "\n" + "\t\tTrailer value:    0\n"));
}

}  // namespace
}  // namespace vhdx_inspect::detail::partition
