// The MBR report as the text program prints it, from MBR records made here:
// the labels, the blanks, hexadecimal with the prefix (a bare 0 for zero),
// the partition headings in the base that the disk signature left, and that
// base left in force afterwards.
#include "views/text/mbr_report.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "views/text/number_format.h"

namespace vhdx_inspect::views::text {
namespace {

using vhdx_inspect::MbrPartitionRecord;
using vhdx_inspect::MbrRecord;

constexpr const char* kZeroRecord =
    "\t\tBootable:       false\n"
    "\t\tStartHead:      0\n"
    "\t\tStartCylinder:  0\n"
    "\t\tStartSector:    0\n"
    "\t\tType:           0\n"
    "\t\tEndHead:        0\n"
    "\t\tEndCylinder:    0\n"
    "\t\tEndSector:      0\n"
    "\t\tSectorOffset:   0\n"
    "\t\tSectorCount:    0\n";

std::string Table(const MbrRecord& mbr) {
  std::ostringstream out;
  PrintMbrTable(mbr, out);
  return out.str();
}

TEST(PrintMbrTable, ProtectiveMbr) {
  MbrRecord mbr;
  mbr.disk_signature = 0xA1B2C3D4;
  mbr.partitions[0] = {.bootable = false,
                       .status = 0x00,
                       .start_head = 0,
                       .start_cylinder = 0,
                       .start_sector = 0x2,
                       .type = 0xEE,
                       .end_head = 0xFF,
                       .end_cylinder = 0x3FF,
                       .end_sector = 0x3F,
                       .sector_offset = 0x1,
                       .sector_count = 0x1FFFFF};

  const std::string expected = std::string("\nMBR Table \n\n") +
                               "\tDiskSignature:  0xa1b2c3d4\n"
                               "\n\tPartition  0x1\n\n"
                               "\t\tBootable:       false\n"
                               "\t\tStartHead:      0\n"
                               "\t\tStartCylinder:  0\n"
                               "\t\tStartSector:    0x2\n"
                               "\t\tType:           0xee\n"
                               "\t\tEndHead:        0xff\n"
                               "\t\tEndCylinder:    0x3ff\n"
                               "\t\tEndSector:      0x3f\n"
                               "\t\tSectorOffset:   0x1\n"
                               "\t\tSectorCount:    0x1fffff\n" +
                               "\n\tPartition  0x2\n\n" + kZeroRecord + "\n\tPartition  0x3\n\n" + kZeroRecord +
                               "\n\tPartition  0x4\n\n" + kZeroRecord;
  EXPECT_EQ(Table(mbr), expected);
}

// A zero disk signature has no prefix; the headings are still hexadecimal
// with the prefix, the base the signature's line set.
TEST(PrintMbrTable, AllZeroRecordPrintsBareZeros) {
  std::string expected = "\nMBR Table \n\n\tDiskSignature:  0\n";
  for (const char* n : {"0x1", "0x2", "0x3", "0x4"})
    expected += std::string("\n\tPartition  ") + n + "\n\n" + kZeroRecord;
  EXPECT_EQ(Table(MbrRecord{}), expected);
}

TEST(PrintMbrTable, LeavesHexadecimalWithThePrefixInForce) {
  std::ostringstream out;
  PrintMbrTable(MbrRecord{}, out);
  out.str("");
  out << InCurrentBase(26);
  EXPECT_EQ(out.str(), "0x1a");
}

// Each of the ten lines shows its own field; one-byte fields are numbers,
// never characters. Bootable is the record's flag, not the status byte.
TEST(PrintMbrPartition, EachLineShowsItsField) {
  struct Case {
    const char* what;
    MbrPartitionRecord record;
    std::string printed;
  };
  const Case cases[] = {
      {"every field its own value",
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
        .sector_count = 0xF1020304},
       "\t\tBootable:       true\n"
       "\t\tStartHead:      0x41\n"
       "\t\tStartCylinder:  0x233\n"
       "\t\tStartSector:    0x12\n"
       "\t\tType:           0x7\n"
       "\t\tEndHead:        0x55\n"
       "\t\tEndCylinder:    0x377\n"
       "\t\tEndSector:      0x26\n"
       "\t\tSectorOffset:   0xa0b0c0d\n"
       "\t\tSectorCount:    0xf1020304\n"},
      {"bootable, the cylinder and sector of C1 05",
       {.bootable = true, .status = 0x81, .start_cylinder = 0x305, .start_sector = 0x1},
       "\t\tBootable:       true\n"
       "\t\tStartHead:      0\n"
       "\t\tStartCylinder:  0x305\n"
       "\t\tStartSector:    0x1\n"
       "\t\tType:           0\n"
       "\t\tEndHead:        0\n"
       "\t\tEndCylinder:    0\n"
       "\t\tEndSector:      0\n"
       "\t\tSectorOffset:   0\n"
       "\t\tSectorCount:    0\n"},
      {"not bootable, status 0x7F", {.bootable = false, .status = 0x7F}, kZeroRecord},
      {"the largest values",
       {.bootable = false,
        .start_head = 0xFF,
        .start_cylinder = 0x3FF,
        .start_sector = 0x3F,
        .type = 0xFF,
        .end_head = 0xFF,
        .end_cylinder = 0x3FF,
        .end_sector = 0x3F,
        .sector_offset = 0xFFFFFFFF,
        .sector_count = 0xFFFFFFFF},
       "\t\tBootable:       false\n"
       "\t\tStartHead:      0xff\n"
       "\t\tStartCylinder:  0x3ff\n"
       "\t\tStartSector:    0x3f\n"
       "\t\tType:           0xff\n"
       "\t\tEndHead:        0xff\n"
       "\t\tEndCylinder:    0x3ff\n"
       "\t\tEndSector:      0x3f\n"
       "\t\tSectorOffset:   0xffffffff\n"
       "\t\tSectorCount:    0xffffffff\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::ostringstream out;
    PrintMbrPartition(c.record, out);
    EXPECT_EQ(out.str(), c.printed);
  }
}

}  // namespace
}  // namespace vhdx_inspect::views::text
