#include "views/text/mbr_report.h"

#include "views/text/number_format.h"

namespace vhdx_inspect::views::text {

void PrintMbrTable(const vhdx_inspect::MbrRecord& mbr, std::ostream& out) {
  out << std::endl;
  out << "MBR Table " << std::endl;
  out << std::endl;
  out << "\tDiskSignature:  " << HexWithPrefix(mbr.disk_signature) << std::endl;
  for (int n = 1; n <= 4; ++n) {
    out << std::endl;
    out << "\tPartition  " << InCurrentBase(n) << std::endl;
    out << std::endl;
    PrintMbrPartition(mbr.partitions[static_cast<std::size_t>(n - 1)], out);
  }
}

void PrintMbrPartition(const vhdx_inspect::MbrPartitionRecord& record, std::ostream& out) {
  out << "\t\tBootable:       " << (record.bootable ? "true" : "false") << std::endl;
  out << "\t\tStartHead:      " << HexWithPrefix(record.start_head) << std::endl;
  out << "\t\tStartCylinder:  " << HexWithPrefix(record.start_cylinder) << std::endl;
  out << "\t\tStartSector:    " << HexWithPrefix(record.start_sector) << std::endl;
  out << "\t\tType:           " << HexWithPrefix(record.type) << std::endl;
  out << "\t\tEndHead:        " << HexWithPrefix(record.end_head) << std::endl;
  out << "\t\tEndCylinder:    " << HexWithPrefix(record.end_cylinder) << std::endl;
  out << "\t\tEndSector:      " << HexWithPrefix(record.end_sector) << std::endl;
  out << "\t\tSectorOffset:   " << HexWithPrefix(record.sector_offset) << std::endl;
  out << "\t\tSectorCount:    " << HexWithPrefix(record.sector_count) << std::endl;
}

}  // namespace vhdx_inspect::views::text
