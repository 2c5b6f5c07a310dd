#include "partition/mbr_report.h"

#include "platform/number_format.h"

namespace partition {
namespace {

using platform::HexWithPrefix;
using platform::InCurrentBase;

constexpr unsigned Sector(std::uint8_t sectorCylinderHigh) { return sectorCylinderHigh & 0x3Fu; }

constexpr unsigned Cylinder(std::uint8_t sectorCylinderHigh, std::uint8_t cylinderLow) {
  return cylinderLow | ((sectorCylinderHigh & 0xC0u) << 2);
}

}  // namespace

void PrintMbrTable(std::span<const std::byte, kMbrSize> sector, std::ostream& out) {
  const auto mbr = platform::LoadRecord<MBR_TABLE>(sector);
  out << std::endl;
  out << "MBR Table " << std::endl;
  out << std::endl;
  out << "\tDiskSignature:  " << HexWithPrefix(mbr.DiskSignature.value()) << std::endl;
  for (int n = 1; n <= 4; ++n) {
    out << std::endl;
    out << "\tPartition  " << InCurrentBase(n) << std::endl;
    out << std::endl;
    PrintMbrPartition(mbr.Partitions[n - 1], out);
  }
}

void PrintMbrPartition(const MBR_PARTITION& record, std::ostream& out) {
  out << "\t\tBootable:       " << ((record.Status & 0x80) != 0 ? "true" : "false") << std::endl;
  out << "\t\tStartHead:      " << HexWithPrefix(record.StartHead) << std::endl;
  out << "\t\tStartCylinder:  " << HexWithPrefix(Cylinder(record.StartSectorCylinderHigh, record.StartCylinderLow))
      << std::endl;
  out << "\t\tStartSector:    " << HexWithPrefix(Sector(record.StartSectorCylinderHigh)) << std::endl;
  out << "\t\tType:           " << HexWithPrefix(record.Type) << std::endl;
  out << "\t\tEndHead:        " << HexWithPrefix(record.EndHead) << std::endl;
  out << "\t\tEndCylinder:    " << HexWithPrefix(Cylinder(record.EndSectorCylinderHigh, record.EndCylinderLow))
      << std::endl;
  out << "\t\tEndSector:      " << HexWithPrefix(Sector(record.EndSectorCylinderHigh)) << std::endl;
  out << "\t\tSectorOffset:   " << HexWithPrefix(record.SectorOffset.value()) << std::endl;
  out << "\t\tSectorCount:    " << HexWithPrefix(record.SectorCount.value()) << std::endl;
}

}  // namespace partition
