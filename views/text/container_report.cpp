#include "views/text/container_report.h"

#include "views/text/number_format.h"

namespace vhdx_inspect::views::text {
namespace {

void PrintVolumeReport(int number, const vhdx_inspect::VolumeRecord& volume, std::ostream& out) {
  out << std::endl;
  out << "=========== Volume " << InCurrentBase(number) << std::endl;
  out << "\tcbSize:           " << HexWithPrefixThenDecimal(volume.size) << std::endl;
  out << "\tcbMetaDataOffset: " << HexWithPrefixThenDecimal(volume.metadata_offset) << std::endl;
  out << std::endl;
  out << "\t=========== Volume Plugin Metadata" << std::endl;
  out << "\t\tMySize:           " << HexWithPrefixThenDecimal(volume.my_size) << std::endl;
  out << "\t\tnVolumeSize:      " << HexWithPrefixThenDecimal(volume.volume_size) << std::endl;
  out << "\t\tcbPassword:       " << InCurrentBase(volume.password_size) << std::endl;
  out << "\t\tcbPasswordOffset: " << HexWithPrefixThenDecimal(volume.password_offset) << std::endl;
  out << "\t\tcbImageFileList:  " << InCurrentBase(volume.image_file_list_bytes) << std::endl;
  out << std::endl;
}

}  // namespace

void PrintHeaderReport(const vhdx_inspect::HeaderRecord& header, const vhdx_inspect::RegionsRecord& regions,
                       std::ostream& out) {
  out << std::endl;
  out << "=========== HEADER " << std::endl;
  out << "SequenceNumber:   " << InCurrentBase(header.sequence_number) << std::endl;
  out << "Version:          " << InCurrentBase(header.version) << std::endl;
  out << "LogVersion:       " << InCurrentBase(header.log_version) << std::endl;
  out << "LogLength:        " << HexWithPrefixThenDecimal(header.log_length) << std::endl;
  out << "LogOffset:        " << HexWithPrefixThenDecimal(header.log_offset) << std::endl;
  out << "MetadataLength:   " << HexWithPrefixThenDecimal(regions.metadata_length) << std::endl;
  out << "MetadataOffset:   " << HexWithPrefixThenDecimal(regions.metadata_offset) << std::endl;
  out << "BATLength:        " << HexWithPrefixThenDecimal(regions.bat_length) << std::endl;
  out << "BATOffset:        " << HexWithPrefixThenDecimal(regions.bat_offset) << std::endl;
  out << std::endl;
}

void PrintMetadataReport(const vhdx_inspect::MetadataRecord& metadata, const vhdx_inspect::PluginHeaderRecord& plugin,
                         const std::vector<vhdx_inspect::VolumeRecord>& volumes, std::ostream& out) {
  out << std::endl;
  out << "=========== Metadata Entry Summary " << std::endl;
  out << "BlockSize:         " << HexWithPrefixThenDecimal(metadata.block_size) << std::endl;
  out << "LogicalSectorSize: " << HexWithPrefixThenDecimal(metadata.logical_sector_size) << std::endl;
  out << "PhyicalSectorSize: " << HexWithPrefixThenDecimal(metadata.physical_sector_size) << std::endl;
  out << "VirtualDiskSize:   " << HexWithPrefixThenDecimal(metadata.virtual_disk_size) << std::endl;
  out << "ChunkRatio:        " << InCurrentBase(metadata.chunk_ratio) << std::endl;
  out << std::endl;
  out << std::endl;
  out << "=========== Plugin Header " << std::endl;
  out << "PlugIn Header offset:  " << HexWithPrefixThenDecimal(plugin.offset) << std::endl;
  out << "Revision:              " << InCurrentBase(plugin.revision) << std::endl;
  out << "nVirtualDiskSize:      " << HexWithPrefixThenDecimal(plugin.virtual_disk_size) << std::endl;
  out << "nMbrGptSize:           " << HexWithPrefixThenDecimal(plugin.mbr_gpt_size) << std::endl;
  if (plugin.gpt_trailer_offset != 0) {
    out << "nGptTrailerLength:     " << HexWithPrefixThenDecimal(plugin.gpt_trailer_length) << std::endl;
    out << "nGptTrailerDiskOffset: " << HexWithPrefixThenDecimal(plugin.gpt_trailer_offset) << std::endl;
  }
  out << "cbMaxMetaData:         " << HexWithPrefixThenDecimal(plugin.max_metadata_size) << std::endl;
  out << "cbTotalMetaData:       " << HexWithPrefixThenDecimal(plugin.total_metadata_size) << std::endl;
  out << std::endl;

  int number = 0;
  for (const vhdx_inspect::VolumeRecord& volume : volumes) PrintVolumeReport(++number, volume, out);
}

}  // namespace vhdx_inspect::views::text
