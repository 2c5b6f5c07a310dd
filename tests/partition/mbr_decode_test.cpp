// The protective MBR sector decoded: where each field lies, how a partition
// record's status and CHS bytes become values, and which bytes are never read.
#include "partition/mbr_decode.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>

#include "byte_fixture.h"
#include "record_printers.h"

namespace vhdx_inspect::detail::partition {
namespace {

using testing::Put32;
using Sector = std::array<std::byte, kMbrSize>;
using vhdx_inspect::MbrPartitionRecord;

constexpr std::size_t kFirstRecord = 446;
constexpr std::size_t kRecordSize = 16;

// A 16-byte partition record: the eight status, CHS and type bytes, then the
// first LBA and the sector count.
struct RecordBytes {
  std::array<std::uint8_t, 8> bytes;
  std::uint32_t sectorOffset = 0;
  std::uint32_t sectorCount = 0;
};

void PutRecord(Sector& sector, std::size_t slot, const RecordBytes& r) {
  const std::size_t at = kFirstRecord + slot * kRecordSize;
  for (std::size_t i = 0; i < r.bytes.size(); ++i) sector[at + i] = std::byte{r.bytes[i]};
  Put32(sector, at + 8, r.sectorOffset);
  Put32(sector, at + 12, r.sectorCount);
}

vhdx_inspect::MbrRecord Decode(const Sector& sector) { return DecodeMbr(std::span<const std::byte, kMbrSize>(sector)); }

TEST(DecodeMbr, ProtectiveMbr) {
  Sector sector{};
  Put32(sector, 440, 0xA1B2C3D4);
  PutRecord(sector, 0, {{0x00, 0x00, 0x02, 0x00, 0xEE, 0xFF, 0xFF, 0xFF}, 1, 0x1FFFFF});

  const vhdx_inspect::MbrRecord mbr = Decode(sector);
  EXPECT_EQ(mbr.disk_signature, 0xA1B2C3D4u);
  EXPECT_EQ(mbr.partitions[0], (MbrPartitionRecord{.bootable = false,
                                                   .status = 0x00,
                                                   .start_head = 0,
                                                   .start_cylinder = 0,
                                                   .start_sector = 0x2,
                                                   .type = 0xEE,
                                                   .end_head = 0xFF,
                                                   .end_cylinder = 0x3FF,
                                                   .end_sector = 0x3F,
                                                   .sector_offset = 0x1,
                                                   .sector_count = 0x1FFFFF}));
  for (std::size_t n = 1; n < 4; ++n) EXPECT_EQ(mbr.partitions[n], MbrPartitionRecord{}) << "record " << n + 1;
}

TEST(DecodeMbr, AllZeroSectorDecodesToZeros) { EXPECT_EQ(Decode(Sector{}), vhdx_inspect::MbrRecord{}); }

// The four records lie 16 bytes apart from offset 446, in order.
TEST(DecodeMbr, EachRecordIsTakenFromItsOwnSlot) {
  Sector sector{};
  for (std::uint8_t slot = 0; slot < 4; ++slot) {
    const auto mark = static_cast<std::uint8_t>(0x10 * (slot + 1));
    PutRecord(sector, slot,
              {{mark, static_cast<std::uint8_t>(mark + 1), 0, 0, static_cast<std::uint8_t>(mark + 4), 0, 0, 0},
               0x01000000u * (slot + 1u),
               0x00000100u * (slot + 1u)});
  }
  const vhdx_inspect::MbrRecord mbr = Decode(sector);
  for (std::size_t slot = 0; slot < 4; ++slot) {
    SCOPED_TRACE("record " + std::to_string(slot + 1));
    const auto mark = static_cast<std::uint8_t>(0x10 * (slot + 1));
    EXPECT_EQ(mbr.partitions[slot].status, mark);
    EXPECT_EQ(mbr.partitions[slot].start_head, mark + 1);
    EXPECT_EQ(mbr.partitions[slot].type, mark + 4);
    EXPECT_EQ(mbr.partitions[slot].sector_offset, 0x01000000u * (slot + 1));
    EXPECT_EQ(mbr.partitions[slot].sector_count, 0x00000100u * (slot + 1));
  }
}

// Boot code (0 to 439), the two bytes after the disk signature (444, 445)
// and the boot signature (510, 511) are neither read nor checked.
TEST(DecodeMbr, BytesOutsideTheSignatureAndTheRecordsAreNotRead) {
  Sector sector{};
  Put32(sector, 440, 0x12345678);
  PutRecord(sector, 2, {{0x80, 1, 2, 3, 4, 5, 6, 7}, 8, 9});
  const vhdx_inspect::MbrRecord plain = Decode(sector);
  for (std::size_t i = 0; i < 440; ++i) sector[i] = std::byte{0xFF};
  sector[444] = std::byte{0xFF};
  sector[445] = std::byte{0xFF};
  sector[510] = std::byte{0x55};
  sector[511] = std::byte{0xAA};
  EXPECT_EQ(Decode(sector), plain);
}

struct RecordCase {
  const char* what;
  RecordBytes bytes;
  MbrPartitionRecord decoded;
};

// Bootable is bit 7 of the status; a sector is bits 0 to 5 of its byte, whose
// bits 6 and 7 are bits 8 and 9 of the cylinder.
TEST(DecodeMbrPartition, StatusAndChsBitPacking) {
  const RecordCase cases[] = {
      {"status 0x80", {{0x80, 0, 0, 0, 0, 0, 0, 0}}, {.bootable = true, .status = 0x80}},
      {"status 0x81", {{0x81, 0, 0, 0, 0, 0, 0, 0}}, {.bootable = true, .status = 0x81}},
      {"status 0xFF", {{0xFF, 0, 0, 0, 0, 0, 0, 0}}, {.bootable = true, .status = 0xFF}},
      {"status 0x7F", {{0x7F, 0, 0, 0, 0, 0, 0, 0}}, {.bootable = false, .status = 0x7F}},
      {"start C1 05",
       {{0x80, 0, 0xC1, 0x05, 0, 0, 0, 0}},
       {.bootable = true, .status = 0x80, .start_cylinder = 0x305, .start_sector = 0x1}},
      {"start 3F FF", {{0x00, 0, 0x3F, 0xFF, 0, 0, 0, 0}}, {.start_cylinder = 0xFF, .start_sector = 0x3F}},
      {"end C1 05", {{0x00, 0, 0, 0, 0, 0, 0xC1, 0x05}}, {.end_cylinder = 0x305, .end_sector = 0x1}},
      {"end 40 00", {{0x00, 0, 0, 0, 0, 0, 0x40, 0x00}}, {.end_cylinder = 0x100, .end_sector = 0}},
      {"every field its own value",
       {{0x80, 0x41, 0x92, 0x33, 0x07, 0x55, 0xE6, 0x77}, 0x0A0B0C0D, 0x01020304},
       {.bootable = true,
        .status = 0x80,
        .start_head = 0x41,
        .start_cylinder = 0x233,
        .start_sector = 0x12,
        .type = 0x07,
        .end_head = 0x55,
        .end_cylinder = 0x377,
        .end_sector = 0x26,
        .sector_offset = 0x0A0B0C0D,
        .sector_count = 0x01020304}},
  };
  for (const RecordCase& c : cases) {
    SCOPED_TRACE(c.what);
    Sector sector{};
    PutRecord(sector, 0, c.bytes);
    EXPECT_EQ(DecodeMbrPartition(*encoding::LoadRecord<MBR_PARTITION>(std::span<const std::byte>(sector), 446)),
              c.decoded);
    EXPECT_EQ(Decode(sector).partitions[0], c.decoded);
  }
}

}  // namespace
}  // namespace vhdx_inspect::detail::partition
