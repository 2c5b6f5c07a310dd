// The container report: the current header, the region locations, the
// standard metadata values, the plugin header and every volume record.
//
// Labels carry their own padding so that the values of a block line up.
// A "hex" value switches to hexadecimal with the prefix and back to decimal;
// the first three header values are written in whatever base is in force.
// Everything printed was read and checked by the two stages.
#include "platform/number_format.h"
#include "vhdx/plugin_vhdx_reader.h"

namespace vhdx {
namespace {

using platform::HexWithPrefixThenDecimal;
using platform::InCurrentBase;

}  // namespace

void PluginVhdxReader::PrintContainerReport() {
  out_ << "Parsing " << FileName.c_str() << std::endl << std::endl;
  EnsureStages();
  PrintHeaderReport();
  PrintMetadataReport();
}

void PluginVhdxReader::PrintHeaderReport() {
  if (!HeaderSectionValid) throw CorruptPluginVhdxException();
  const VHDX_HEADER& header = CurrentHeader;
  out_ << std::endl;
  out_ << "=========== HEADER " << std::endl;
  out_ << "SequenceNumber:   " << InCurrentBase(header.SequenceNumber.value()) << std::endl;
  out_ << "Version:          " << InCurrentBase(header.Version.value()) << std::endl;
  out_ << "LogVersion:       " << InCurrentBase(header.LogVersion.value()) << std::endl;
  out_ << "LogLength:        " << HexWithPrefixThenDecimal(header.LogLength.value()) << std::endl;
  out_ << "LogOffset:        " << HexWithPrefixThenDecimal(header.LogOffset.value()) << std::endl;
  out_ << "MetadataLength:   " << HexWithPrefixThenDecimal(MetadataLength) << std::endl;
  out_ << "MetadataOffset:   " << HexWithPrefixThenDecimal(MetadataOffset) << std::endl;
  out_ << "BATLength:        " << HexWithPrefixThenDecimal(BATLength) << std::endl;
  out_ << "BATOffset:        " << HexWithPrefixThenDecimal(BATOffset) << std::endl;
  out_ << std::endl;
}

void PluginVhdxReader::PrintMetadataReport() {
  if (!MetadataParsed) throw CorruptPluginVhdxException();
  const PLUGIN_VHDX_METADATA& plugin = PluginMetadata.header;

  out_ << std::endl;
  out_ << "=========== Metadata Entry Summary " << std::endl;
  out_ << "BlockSize:         " << HexWithPrefixThenDecimal(BlockSize) << std::endl;
  out_ << "LogicalSectorSize: " << HexWithPrefixThenDecimal(LogicalSectorSize) << std::endl;
  out_ << "PhyicalSectorSize: " << HexWithPrefixThenDecimal(PhysicalSectorSize) << std::endl;
  out_ << "VirtualDiskSize:   " << HexWithPrefixThenDecimal(VirtualDiskSize) << std::endl;
  out_ << "ChunkRatio:        " << InCurrentBase(ChunkRatio) << std::endl;
  out_ << std::endl;
  out_ << std::endl;
  out_ << "=========== Plugin Header " << std::endl;
  out_ << "PlugIn Header offset:  " << HexWithPrefixThenDecimal(PluginMetadata.offset) << std::endl;
  out_ << "Revision:              " << InCurrentBase(plugin.Revision.value()) << std::endl;
  out_ << "nVirtualDiskSize:      " << HexWithPrefixThenDecimal(plugin.nVirtualDiskSize.value()) << std::endl;
  out_ << "nMbrGptSize:           " << HexWithPrefixThenDecimal(plugin.nMbrGptSize.value()) << std::endl;
  if (plugin.nGptTrailerDiskOffset.value() != 0) {
    out_ << "nGptTrailerLength:     " << HexWithPrefixThenDecimal(plugin.nGptTrailerLength.value()) << std::endl;
    out_ << "nGptTrailerDiskOffset: " << HexWithPrefixThenDecimal(plugin.nGptTrailerDiskOffset.value()) << std::endl;
  }
  out_ << "cbMaxMetaData:         " << HexWithPrefixThenDecimal(plugin.cbMaxMetaData.value()) << std::endl;
  out_ << "cbTotalMetaData:       " << HexWithPrefixThenDecimal(plugin.cbTotalMetaData.value()) << std::endl;
  out_ << std::endl;

  int number = 0;
  for (const CheckedVolume& volume : PluginMetadata.Volumes()) PrintVolumeReport(++number, volume);
}

void PluginVhdxReader::PrintVolumeReport(int number, const CheckedVolume& volume) {
  const PLUGIN_METADATA_ENTRY& entry = volume.entry;
  const VOLUME_PLUGIN_METADATA& record = volume.record;
  out_ << std::endl;
  out_ << "=========== Volume " << InCurrentBase(number) << std::endl;
  out_ << "\tcbSize:           " << HexWithPrefixThenDecimal(entry.cbSize.value()) << std::endl;
  out_ << "\tcbMetaDataOffset: " << HexWithPrefixThenDecimal(entry.cbMetaDataOffset.value()) << std::endl;
  out_ << std::endl;
  out_ << "\t=========== Volume Plugin Metadata" << std::endl;
  out_ << "\t\tMySize:           " << HexWithPrefixThenDecimal(record.MySize.value()) << std::endl;
  out_ << "\t\tnVolumeSize:      " << HexWithPrefixThenDecimal(record.nVolumeSize.value()) << std::endl;
  out_ << "\t\tcbPassword:       " << InCurrentBase(record.cbPassword.value()) << std::endl;
  out_ << "\t\tcbPasswordOffset: " << HexWithPrefixThenDecimal(record.cbPasswordOffset.value()) << std::endl;
  out_ << "\t\tcbImageFileList:  " << InCurrentBase(volume.imageFileListBytes) << std::endl;
  out_ << std::endl;
}

}  // namespace vhdx
