// The GPT verification's findings: one for each check that fails, in the
// order the checks are made (the primary header's own fields, the backup's,
// the headers against each other, the two entry checksums against each
// other), with the values each compares and an empty description.
#include "partition/gpt_verification.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "gpt_fixture.h"
#include "record_printers.h"

namespace vhdx_inspect::detail::partition {
namespace {

using namespace vhdx_inspect::detail::partition::testing;
using vhdx_inspect::Check;
using vhdx_inspect::Finding;
using vhdx_inspect::GptSide;

// A finding of one header's own check, without or with its two values.
Finding Own(Check check, GptSide side) { return Finding{check, side, {}, std::nullopt, std::nullopt}; }
Finding Own(Check check, GptSide side, std::uint64_t stored, std::uint64_t calculated) {
  return Finding{check, side, {}, stored, calculated};
}
// A finding of the primary header against the backup.
Finding Across(Check check, std::uint64_t primary, std::uint64_t backup) {
  return Finding{check, std::nullopt, {}, primary, backup};
}

struct Gpt {
  EntryArray primaryEntries{};
  EntryArray backupEntries{};
  HeaderBytes primary{};
  HeaderBytes backup{};

  std::vector<Finding> Verify() const {
    std::vector<Finding> findings;
    VerifyGpt(EfiHeaderBytes(primary), GptEntryArrayBytes(primaryEntries), EfiHeaderBytes(backup),
              GptEntryArrayBytes(backupEntries), findings);
    return findings;
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

// Sets the header's checksum right for its bytes as they now are.
void Reseal(HeaderBytes& header) { Put32(header, 16, ZlibCrc32WithFieldZeroed(header, 16)); }

TEST(VerifyGpt, ConsistentPairFindsNothing) { EXPECT_EQ(ConsistentGpt().Verify(), std::vector<Finding>{}); }

// The findings are appended to what the vector already holds.
TEST(VerifyGpt, AppendsToTheFindingsGiven) {
  Gpt gpt = ConsistentGpt();
  gpt.backup = gpt.primary;
  const Finding earlier = Own(Check::kGptSignature, GptSide::kBackup);
  std::vector<Finding> findings{earlier};
  VerifyGpt(EfiHeaderBytes(gpt.primary), GptEntryArrayBytes(gpt.primaryEntries), EfiHeaderBytes(gpt.backup),
            GptEntryArrayBytes(gpt.backupEntries), findings);
  ASSERT_EQ(findings.size(), 3u);
  EXPECT_EQ(findings[0], earlier);
  EXPECT_EQ(findings[1].check, Check::kGptMyLba);
}

// Each of a header's own checks fails alone when its one field is wrong (the
// header checksum resealed), on either side; a wrong stored checksum comes
// with the stored and the calculated value.
TEST(VerifyGpt, EachHeaderCheckOnEitherSide) {
  struct Case {
    const char* what;
    void (*spoil)(HeaderBytes&);
    Check check;
  };
  const Case cases[] = {
      {"signature", [](HeaderBytes& h) { PutText(h, 7, "U"); }, Check::kGptSignature},
      {"signature in its first byte", [](HeaderBytes& h) { PutText(h, 0, "e"); }, Check::kGptSignature},
      {"revision", [](HeaderBytes& h) { Put32(h, 8, 0x00010001); }, Check::kGptRevision},
      {"header size 91", [](HeaderBytes& h) { Put32(h, 12, 91); }, Check::kGptHeaderSize},
      {"127 entries", [](HeaderBytes& h) { Put32(h, 80, 127); }, Check::kGptNumberOfPartitionEntries},
      {"entries of 256 bytes", [](HeaderBytes& h) { Put32(h, 84, 256); }, Check::kGptSizeOfPartitionEntry},
      {"header checksum", [](HeaderBytes& h) { Put32(h, 16, 0x12345678); }, Check::kGptHeaderCrc},
      {"entry array checksum", [](HeaderBytes& h) { Put32(h, 88, 0x12345678); }, Check::kGptEntryArrayCrc},
  };
  for (const GptSide side : {GptSide::kPrimary, GptSide::kBackup}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.what) + (side == GptSide::kPrimary ? " of the primary" : " of the backup"));
      Gpt gpt = ConsistentGpt();
      HeaderBytes& header = side == GptSide::kPrimary ? gpt.primary : gpt.backup;
      const EntryArray& entries = side == GptSide::kPrimary ? gpt.primaryEntries : gpt.backupEntries;
      c.spoil(header);
      if (c.check != Check::kGptHeaderCrc) Reseal(header);
      std::vector<Finding> expected;
      if (c.check == Check::kGptHeaderCrc) {
        expected.push_back(Own(c.check, side, 0x12345678, ZlibCrc32WithFieldZeroed(header, 16)));
      } else if (c.check == Check::kGptEntryArrayCrc) {
        expected.push_back(Own(c.check, side, 0x12345678, ZlibCrc32(entries)));
        // The two headers' stored array checksums now differ too.
        const std::uint64_t other = ZlibCrc32(entries);
        expected.push_back(Across(Check::kGptEntryArrayCrcAgreement, side == GptSide::kPrimary ? 0x12345678 : other,
                                  side == GptSide::kPrimary ? other : 0x12345678));
      } else {
        expected.push_back(Own(c.check, side));
      }
      EXPECT_EQ(gpt.Verify(), expected);
    }
  }
}

// The disk GUID, the reserved field, the entry array's LBA and the entries
// themselves (beyond their checksum) are compared nowhere.
TEST(VerifyGpt, FieldsThatAreNotCompared) {
  struct Case {
    const char* what;
    void (*change)(Gpt&);
  };
  const Case cases[] = {
      {"disk GUID", [](Gpt& g) { g.backup[60] ^= std::byte{0xFF}; }},
      {"reserved field", [](Gpt& g) { Put32(g.primary, 20, 0xFFFFFFFF); }},
      {"entry array LBA", [](Gpt& g) { Put64(g.backup, 72, 0x77); }},
      {"entries, with their checksums",
       [](Gpt& g) {
         PutEntry(g.backupEntries, 3, Entry{kOtherType, 9, 1, 2, 0, u"only in the backup"});
         PutEntry(g.primaryEntries, 3, Entry{kOtherType, 9, 1, 2, 0, u"only in the backup"});
         Put32(g.primary, 88, ZlibCrc32(g.primaryEntries));
         Put32(g.backup, 88, ZlibCrc32(g.backupEntries));
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Gpt gpt = ConsistentGpt();
    c.change(gpt);
    Reseal(gpt.primary);
    Reseal(gpt.backup);
    EXPECT_EQ(gpt.Verify(), std::vector<Finding>{});
  }
}

// The header checksum covers the first 92 bytes whatever HeaderSize says.
TEST(VerifyGpt, HeaderSizeAbove92IsFoundAndTheChecksumCoversOnly92Bytes) {
  Gpt gpt = ConsistentGpt();
  Header header;
  header.headerSize = 96;
  gpt.primary = MakeHeader(header, gpt.primaryEntries);
  const std::uint32_t over92 = ZlibCrc32WithFieldZeroed(gpt.primary, 16);
  std::array<std::byte, 96> longer{};
  std::copy(gpt.primary.begin(), gpt.primary.end(), longer.begin());
  const std::uint32_t over96 = ZlibCrc32WithFieldZeroed(longer, 16);
  Put32(gpt.primary, 16, over96);

  EXPECT_EQ(gpt.Verify(), (std::vector<Finding>{Own(Check::kGptHeaderSize, GptSide::kPrimary),
                                                Own(Check::kGptHeaderCrc, GptSide::kPrimary, over96, over92)}));
}

// The backup still holds the old array checksum, as the primary's header does.
TEST(VerifyGpt, EditedPrimaryArrayIsFoundInThePrimaryOnly) {
  Gpt gpt = ConsistentGpt();
  const std::uint32_t stored = ZlibCrc32(gpt.primaryEntries);
  PutEntry(gpt.primaryEntries, 1, Entry{kOtherType, 9, 1, 2, 0, u"added"});
  EXPECT_EQ(gpt.Verify(), std::vector<Finding>{
                              Own(Check::kGptEntryArrayCrc, GptSide::kPrimary, stored, ZlibCrc32(gpt.primaryEntries))});
}

TEST(VerifyGpt, TableOf256EntriesIsChecksummedOverTheFirst16384Bytes) {
  Gpt gpt = ConsistentGpt();
  Header header;
  header.entryCount = 256;
  gpt.primary = MakeHeader(header, gpt.primaryEntries);
  gpt.backup = MakeHeader(BackupOf(header), gpt.backupEntries);
  EXPECT_EQ(gpt.Verify(), (std::vector<Finding>{Own(Check::kGptNumberOfPartitionEntries, GptSide::kPrimary),
                                                Own(Check::kGptNumberOfPartitionEntries, GptSide::kBackup)}));
}

// MyLBA is held against the backup's AlternateLBA and AlternateLBA against
// its MyLBA: a plain copy fails both.
TEST(VerifyGpt, BackupThatIsAPlainCopyOfThePrimaryFailsBothCrossChecks) {
  Gpt gpt = ConsistentGpt();
  gpt.backup = gpt.primary;
  EXPECT_EQ(gpt.Verify(), (std::vector<Finding>{Across(Check::kGptMyLba, 0x1, 0x1FFFFF),
                                                Across(Check::kGptAlternateLba, 0x1FFFFF, 0x1)}));
}

TEST(VerifyGpt, UsableLbasAndArrayChecksumsMustAgree) {
  Gpt gpt = ConsistentGpt();
  Header backup = BackupOf(Header{});
  backup.firstUsableLba = 0x800;
  backup.lastUsableLba = 0x1FF000;
  PutEntry(gpt.backupEntries, 1, Entry{kOtherType, 7, 1, 2, 0, u"only in the backup"});
  gpt.backup = MakeHeader(backup, gpt.backupEntries);
  EXPECT_EQ(gpt.Verify(), (std::vector<Finding>{Across(Check::kGptFirstUsableLba, 0x22, 0x800),
                                                Across(Check::kGptLastUsableLba, 0x1FFFDE, 0x1FF000),
                                                Across(Check::kGptEntryArrayCrcAgreement, ZlibCrc32(gpt.primaryEntries),
                                                       ZlibCrc32(gpt.backupEntries))}));
}

// No check suppresses another: a trailer of zeros beside a sound primary
// fails all seven of the backup's own checks, the four cross checks and the
// checksum agreement, in that order.
TEST(VerifyGpt, AllZeroTrailerFailsEveryCheckThatConcernsIt) {
  Gpt gpt = ConsistentGpt();
  gpt.backup = HeaderBytes{};
  gpt.backupEntries = EntryArray{};
  const HeaderBytes zeros{};
  const GptSide backup = GptSide::kBackup;
  EXPECT_EQ(gpt.Verify(), (std::vector<Finding>{
                              Own(Check::kGptSignature, backup),
                              Own(Check::kGptRevision, backup),
                              Own(Check::kGptHeaderSize, backup),
                              Own(Check::kGptNumberOfPartitionEntries, backup),
                              Own(Check::kGptSizeOfPartitionEntry, backup),
                              Own(Check::kGptHeaderCrc, backup, 0, ZlibCrc32WithFieldZeroed(zeros, 16)),
                              Own(Check::kGptEntryArrayCrc, backup, 0, ZlibCrc32(gpt.backupEntries)),
                              Across(Check::kGptMyLba, 0x1, 0),
                              Across(Check::kGptAlternateLba, 0x1FFFFF, 0),
                              Across(Check::kGptFirstUsableLba, 0x22, 0),
                              Across(Check::kGptLastUsableLba, 0x1FFFDE, 0),
                              Across(Check::kGptEntryArrayCrcAgreement, ZlibCrc32(gpt.primaryEntries), 0),
                          }));
}

}  // namespace
}  // namespace vhdx_inspect::detail::partition
