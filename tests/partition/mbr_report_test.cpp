#include "views/text/mbr_report.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <sstream>

#include "byte_fixture.h"
#include "partition/mbr_decode.h"

namespace vhdx_inspect::detail::partition {
namespace {

using testing::Put32;

std::string Report(const std::array<std::byte, kMbrSize>& sector) {
  std::ostringstream out;
  vhdx_inspect::views::text::PrintMbrTable(DecodeMbr(std::span<const std::byte, kMbrSize>(sector)), out);
  return out.str();
}

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

TEST(PrintMbrTable, ProtectiveMbr) {
  std::array<std::byte, kMbrSize> sector{};
  Put32(sector, 440, 0xA1B2C3D4);
  const std::array<std::uint8_t, 8> chs{0x00, 0x00, 0x02, 0x00, 0xEE, 0xFF, 0xFF, 0xFF};
  for (std::size_t i = 0; i < chs.size(); ++i) sector[446 + i] = std::byte{chs[i]};
  Put32(sector, 454, 1);
  Put32(sector, 458, 0x1FFFFF);

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
  EXPECT_EQ(Report(sector), expected);
}

TEST(PrintMbrTable, ZeroDiskSignatureHasNoPrefix) {
  const std::array<std::byte, kMbrSize> sector{};
  EXPECT_NE(Report(sector).find("\tDiskSignature:  0\n"), std::string::npos);
}

TEST(PrintMbrTable, BootSignatureIsNotLookedAt) {
  std::array<std::byte, kMbrSize> withSignature{};
  withSignature[510] = std::byte{0x55};
  withSignature[511] = std::byte{0xAA};
  EXPECT_EQ(Report(withSignature), Report(std::array<std::byte, kMbrSize>{}));
}

struct RecordCase {
  std::array<std::uint8_t, 8> bytes;
  const char* bootable;
  const char* startCylinder;
  const char* startSector;
};

TEST(PrintMbrPartition, DecodesStatusSectorAndCylinder) {
  const RecordCase cases[] = {
      {{0x81, 0, 0, 0, 0, 0, 0, 0}, "true", "0", "0"},
      {{0xFF, 0, 0, 0, 0, 0, 0, 0}, "true", "0", "0"},
      {{0x7F, 0, 0, 0, 0, 0, 0, 0}, "false", "0", "0"},
      {{0x80, 0, 0xC1, 0x05, 0, 0, 0, 0}, "true", "0x305", "0x1"},
      {{0x00, 0, 0x3F, 0xFF, 0, 0, 0, 0}, "false", "0xff", "0x3f"},
  };
  for (const RecordCase& c : cases) {
    MBR_PARTITION record{};
    std::memcpy(&record, c.bytes.data(), c.bytes.size());
    std::ostringstream out;
    vhdx_inspect::views::text::PrintMbrPartition(DecodeMbrPartition(record), out);
    const std::string expected = std::string("\t\tBootable:       ") + c.bootable + "\n" + "\t\tStartHead:      0\n" +
                                 "\t\tStartCylinder:  " + c.startCylinder + "\n" +
                                 "\t\tStartSector:    " + c.startSector + "\n";
    EXPECT_EQ(out.str().substr(0, expected.size()), expected) << "status " << int{c.bytes[0]};
  }
}

}  // namespace
}  // namespace vhdx_inspect::detail::partition
