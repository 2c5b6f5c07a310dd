// The reader's shell: construction, the stage protocol, the accessors and the
// positioned read of the data area.
#include "vhdx/plugin_vhdx_reader.h"

#include <algorithm>
#include <limits>
#include <utility>

#include "platform/number_format.h"

namespace vhdx {

using platform::InCurrentBase;

PluginVhdxReader::PluginVhdxReader(const std::string& fileName, std::ostream& out)
    : PluginVhdxReader(fileName, out, platform::OpenForExclusiveRead(fileName)) {}

PluginVhdxReader::PluginVhdxReader(std::string fileName, std::ostream& out, platform::OpenResult opened)
    : out_(out), FileHandle(std::move(opened.file)), FileName(std::move(fileName)), CreateFileStatus(opened.status) {}

void PluginVhdxReader::FailOpen() {
  Fail("CreateFile failed with status ", InCurrentBase(CreateFileStatus), " for file: ", FileName.c_str());
}

void PluginVhdxReader::EnsureStages() {
  if (!HeaderSectionValid) ReadHeaderSection();
  if (HeaderSectionValid && !MetadataParsed) ParseMetadata();
}

std::uint32_t PluginVhdxReader::GetLogicalSectorSize() {
  EnsureStages();
  return LogicalSectorSize;
}

std::int64_t PluginVhdxReader::GetMbrGptSize() {
  EnsureStages();
  return nMbrGptSize;
}

std::int64_t PluginVhdxReader::GetGptTrailerLength() {
  EnsureStages();
  return nGptTrailerLength;
}

std::int64_t PluginVhdxReader::GetGptTrailerDiskOffset() {
  EnsureStages();
  return nGptTrailerDiskOffset;
}

bool PluginVhdxReader::HasGptTrailer() {
  EnsureStages();
  return GptTrailerPresent;
}

std::uint32_t PluginVhdxReader::ReadData(std::uint64_t offset, std::span<std::byte> buffer, std::uint32_t& bytesRead) {
  if (!FileHandle) FailOpen();
  EnsureStages();

  // A data area or a position past the 64-bit range is refused like any
  // other bad seek.
  const std::uint64_t position = offset + DataAreaOffset;
  const bool outOfRange = DataAreaOffset < BATOffset || position < offset;
  if (outOfRange || !FileHandle->Seek(position)) {
    const platform::ErrorCode status = outOfRange ? platform::kInvalidPositionStatus : FileHandle->LastError();
    Fail("SetFilePointerEx failed with status ", InCurrentBase(status), " for file: ", FileName.c_str());
  }

  const auto size =
      static_cast<std::uint32_t>(std::min<std::size_t>(buffer.size(), std::numeric_limits<std::uint32_t>::max()));
  std::uint32_t count = 0;
  if (!FileHandle->Read(buffer.data(), size, count)) {
    Fail("ReadFile failed with status ", InCurrentBase(FileHandle->LastError()), " for file: ", FileName.c_str());
  }
  std::fill(buffer.begin() + count, buffer.end(), std::byte{0});
  bytesRead = count;
  return count;
}

}  // namespace vhdx
