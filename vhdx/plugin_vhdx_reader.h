// One plugin VHDX image during one inspection.
//
// The reader owns the open image and two working buffers. Its two validation
// stages run lazily, once each, the first time any value is asked for: stage 1
// checks the header section (file identifier, current header, region table),
// stage 2 the metadata table, the plugin metadata and its volume records.
// A failed check writes one line naming the cause to the output stream and
// raises CorruptPluginVhdxException.
#pragma once

#include <cstdint>
#include <memory>
#include <ostream>
#include <span>
#include <string>

#include "platform/file.h"
#include "platform/zeroed_buffer.h"
#include "vhdx/checked_plugin_metadata.h"
#include "vhdx/corrupt_plugin_vhdx_exception.h"
#include "vhdx/header_section_records.h"
#include "vhdx/metadata_records.h"

namespace vhdx {

class PluginVhdxReader {
 public:
  // Opens `fileName` for exclusive reading. Never fails visibly: a failed
  // open is reported by the first query.
  PluginVhdxReader(const std::string& fileName, std::ostream& out);
  // Reads an image that is already open (or whose open failed).
  PluginVhdxReader(std::string fileName, std::ostream& out, platform::OpenResult opened);
  ~PluginVhdxReader() = default;
  PluginVhdxReader(const PluginVhdxReader&) = delete;
  PluginVhdxReader& operator=(const PluginVhdxReader&) = delete;

  // The "Parsing " line, then the header block and the metadata block.
  void PrintContainerReport();

  std::uint32_t GetLogicalSectorSize();
  std::int64_t GetMbrGptSize();
  std::int64_t GetGptTrailerLength();
  std::int64_t GetGptTrailerDiskOffset();
  bool HasGptTrailer();

  // Reads buffer.size() bytes (at most 4 GiB - 1) at `offset` from the start
  // of the data area. Returns the count delivered, also stored in bytesRead;
  // the rest of the buffer is zero-filled.
  std::uint32_t ReadData(std::uint64_t offset, std::span<std::byte> buffer, std::uint32_t& bytesRead);

 private:
  void EnsureStages();
  void ReadHeaderSection();
  void ParseMetadata();
  template <typename Item>
  Item ReadItem(std::span<const std::byte> region, const METADATA_TABLE& table, MetadataItem item);
  void ParsePluginMetadata(std::span<const std::byte> region, const METADATA_TABLE& table);
  void WarnOnVirtualSize(const PLUGIN_VHDX_METADATA& plugin);
  std::uint32_t CheckVolumes(std::span<const std::byte> region);
  void PrintHeaderReport();
  void PrintMetadataReport();
  void PrintVolumeReport(int number, const CheckedVolume& volume);
  [[noreturn]] void FailOpen();
  template <typename... Pieces>
  [[noreturn]] void Fail(const Pieces&... pieces);

  std::ostream& out_;

  std::unique_ptr<platform::File> FileHandle;
  std::string FileName;
  platform::ErrorCode CreateFileStatus = 0;
  bool HeaderSectionValid = false;
  platform::ZeroedBuffer HeaderSectionBuffer{kHeaderSectionSize};
  VHDX_HEADER CurrentHeader{};
  std::uint64_t BATOffset = 0;
  std::uint32_t BATLength = 0;
  std::uint64_t MetadataOffset = 0;
  std::uint32_t MetadataLength = 0;
  std::uint64_t DataAreaOffset = 0;
  bool MetadataParsed = false;
  platform::ZeroedBuffer MetadataBuffer{kMetadataRegionReadSize};
  std::uint32_t BlockSize = 0;
  std::uint64_t VirtualDiskSize = 0;
  std::int64_t nMbrGptSize = 0;
  std::int64_t nGptTrailerLength = 0;
  std::int64_t nGptTrailerDiskOffset = 0;
  std::uint32_t LogicalSectorSize = 0;
  std::uint32_t PhysicalSectorSize = 0;
  std::uint32_t ChunkRatio = 0;
  bool GptTrailerPresent = false;
  CheckedPluginMetadata PluginMetadata;
};

}  // namespace vhdx

namespace vhdx {

// Writes one diagnostic line from its pieces and raises the reader's exception.
template <typename... Pieces>
void PluginVhdxReader::Fail(const Pieces&... pieces) {
  (out_ << ... << pieces) << std::endl;
  throw CorruptPluginVhdxException();
}

}  // namespace vhdx
