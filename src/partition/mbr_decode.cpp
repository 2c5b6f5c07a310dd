#include "partition/mbr_decode.h"

namespace vhdx_inspect::detail::partition {
namespace {

constexpr std::uint8_t Sector(std::uint8_t sectorCylinderHigh) {
  return static_cast<std::uint8_t>(sectorCylinderHigh & 0x3Fu);
}

constexpr std::uint16_t Cylinder(std::uint8_t sectorCylinderHigh, std::uint8_t cylinderLow) {
  return static_cast<std::uint16_t>(cylinderLow | ((sectorCylinderHigh & 0xC0u) << 2));
}

}  // namespace

vhdx_inspect::MbrPartitionRecord DecodeMbrPartition(const MBR_PARTITION& record) {
  vhdx_inspect::MbrPartitionRecord decoded;
  decoded.bootable = (record.Status & 0x80) != 0;
  decoded.status = record.Status;
  decoded.start_head = record.StartHead;
  decoded.start_cylinder = Cylinder(record.StartSectorCylinderHigh, record.StartCylinderLow);
  decoded.start_sector = Sector(record.StartSectorCylinderHigh);
  decoded.type = record.Type;
  decoded.end_head = record.EndHead;
  decoded.end_cylinder = Cylinder(record.EndSectorCylinderHigh, record.EndCylinderLow);
  decoded.end_sector = Sector(record.EndSectorCylinderHigh);
  decoded.sector_offset = record.SectorOffset.value();
  decoded.sector_count = record.SectorCount.value();
  return decoded;
}

vhdx_inspect::MbrRecord DecodeMbr(std::span<const std::byte, kMbrSize> sector) {
  const auto mbr = encoding::LoadRecord<MBR_TABLE>(sector);
  vhdx_inspect::MbrRecord decoded;
  decoded.disk_signature = mbr.DiskSignature.value();
  for (std::size_t n = 0; n < decoded.partitions.size(); ++n)
    decoded.partitions[n] = DecodeMbrPartition(mbr.Partitions[n]);
  return decoded;
}

}  // namespace vhdx_inspect::detail::partition
