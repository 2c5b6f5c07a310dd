#include "app/inspect_plugin_vhdx.h"

#include <cstddef>
#include <memory>
#include <new>
#include <span>
#include <utility>

#include "app/partition_area_limits.h"
#include "partition/gpt_report.h"
#include "partition/gpt_verification.h"
#include "partition/mbr_report.h"
#include "platform/little_endian.h"
#include "platform/number_format.h"
#include "vhdx/plugin_vhdx_reader.h"

namespace app {
namespace {

using platform::HexKeepingPrefixFlag;
using platform::InCurrentBase;
using vhdx::CorruptPluginVhdxException;

// Refuses a size from the plugin metadata that the partition tables cannot
// lie in, or that is too large to be read into memory.
void CheckAreaSize(std::ostream& out, const char* field, std::int64_t size, std::int64_t minimum) {
  if (size >= minimum && size <= kMaxPartitionAreaSize) return;
  out << "PLUGIN_VHDX_METADATA->" << field << " is: " << InCurrentBase(size) << ' ' << field << " should be between "
      << InCurrentBase(minimum) << " and " << InCurrentBase(kMaxPartitionAreaSize) << std::endl;
  throw CorruptPluginVhdxException();
}

// A partition-table buffer. It is not cleared: ReadData fills all of it,
// with zeros after whatever a short read did not deliver.
struct AreaBuffer {
  std::unique_ptr<std::byte[]> bytes;
  std::size_t size = 0;
  std::span<std::byte> span() const { return {bytes.get(), size}; }
};

AreaBuffer AllocateArea(std::ostream& out, std::int64_t size) {
  try {
    return {std::make_unique_for_overwrite<std::byte[]>(static_cast<std::size_t>(size)),
            static_cast<std::size_t>(size)};
  } catch (const std::bad_alloc&) {
    out << "Cannot allocate " << InCurrentBase(size) << " bytes for the partition tables." << std::endl;
    throw CorruptPluginVhdxException();
  }
}

// The `Extent` bytes at `offset` of a partition-table buffer, the view a
// printer takes. The sizes checked before the buffers were allocated make
// every view fit; one that does not is refused like any other bad size.
template <std::size_t Extent>
std::span<const std::byte, Extent> View(std::ostream& out, AreaBuffer& buffer, std::size_t offset) {
  const auto view = platform::ViewAt<Extent>(buffer.span(), offset);
  if (!view) {
    out << "The partition tables at offset " << InCurrentBase(offset) << " do not fit in the "
        << InCurrentBase(buffer.size) << " bytes read." << std::endl;
    throw CorruptPluginVhdxException();
  }
  return *view;
}

void InspectPartitionTables(vhdx::PluginVhdxReader& reader, std::uint32_t sectorSize, std::ostream& out) {
  const std::int64_t areaSize = reader.GetMbrGptSize();
  out << "GPT Header size:    " << HexKeepingPrefixFlag(static_cast<std::uint64_t>(areaSize)) << std::endl;
  const std::int64_t trailerLength = reader.GetGptTrailerLength();
  out << "GPT Trailer size:   " << HexKeepingPrefixFlag(static_cast<std::uint64_t>(trailerLength)) << std::endl;
  const std::int64_t trailerOffset = reader.GetGptTrailerDiskOffset();
  out << "GPT Trailer offset: " << HexKeepingPrefixFlag(static_cast<std::uint64_t>(trailerOffset)) << std::endl;

  CheckAreaSize(out, "nMbrGptSize", areaSize, MinPartitionTableAreaSize(sectorSize));
  CheckAreaSize(out, "nGptTrailerLength", trailerLength, kMinGptTrailerLength);
  AreaBuffer area = AllocateArea(out, areaSize);
  AreaBuffer trailer = AllocateArea(out, trailerLength);

  const std::size_t primaryHeader = sectorSize;
  const std::size_t primaryEntries = 2 * std::size_t{sectorSize};
  std::uint32_t bytesRead = 0;
  reader.ReadData(0, area.span(), bytesRead);
  partition::PrintMbrTable(View<partition::kMbrSize>(out, area, 0), out);
  out << std::endl;
  out << "GPT EFI Header and partition entries" << std::endl;
  partition::PrintEfiHeader(View<partition::kEfiHeaderSize>(out, area, primaryHeader), out);
  partition::PrintGptPartitionEntries(View<partition::kGptEntryArraySize>(out, area, primaryEntries), out);

  reader.ReadData(static_cast<std::uint64_t>(trailerOffset), trailer.span(), bytesRead);
  out << std::endl;
  out << "GPT trailer partition entries and EFI Header" << std::endl;
  partition::PrintGptPartitionEntries(View<partition::kGptEntryArraySize>(out, trailer, 0), out);
  partition::PrintEfiHeader(View<partition::kEfiHeaderSize>(out, trailer, kBackupHeaderOffset), out);
  partition::VerifyGpt(View<partition::kEfiHeaderSize>(out, area, primaryHeader),
                       View<partition::kGptEntryArraySize>(out, area, primaryEntries),
                       View<partition::kEfiHeaderSize>(out, trailer, kBackupHeaderOffset),
                       View<partition::kGptEntryArraySize>(out, trailer, 0), out);
}

}  // namespace

void InspectPluginVhdx(std::string imagePath, std::ostream& out) {
  platform::OpenResult opened = platform::OpenForExclusiveRead(imagePath);
  InspectPluginVhdx(std::move(imagePath), std::move(opened), out);
}

void InspectPluginVhdx(std::string imagePath, platform::OpenResult opened, std::ostream& out) {
  vhdx::PluginVhdxReader reader(std::move(imagePath), out, std::move(opened));
  try {
    const std::uint32_t sectorSize = reader.GetLogicalSectorSize();
    reader.PrintContainerReport();
    if (reader.HasGptTrailer()) InspectPartitionTables(reader, sectorSize, out);
  } catch (const CorruptPluginVhdxException& e) {
    out << "Exception occurred: " << e.what() << std::endl;
  }
}

}  // namespace app
