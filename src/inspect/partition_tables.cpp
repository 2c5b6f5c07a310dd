#include "inspect/partition_tables.h"

#include <algorithm>
#include <cstddef>
#include <limits>
#include <memory>
#include <new>
#include <span>

#include "inspect/partition_area_limits.h"
#include "partition/gpt_decode.h"
#include "partition/gpt_verification.h"
#include "partition/mbr_decode.h"

namespace vhdx_inspect::detail::inspect {
namespace {

using vhdx::Check;
using vhdx::Failed;
using vhdx::FailedWithStatus;
using vhdx::StageResult;
using vhdx_inspect::Inspection;

// The largest buffer kept between images: a sound image's tables take 34
// sectors (17 KiB at 512 bytes, 136 KiB at 4096); a larger one, which only a
// damaged image asks for, is given back after it.
constexpr std::size_t kLargestKept = std::size_t{1} << 20;

// Refuses a size from the plugin metadata that the partition tables cannot
// lie in, or that is too large to be read into memory.
StageResult CheckAreaSize(Check check, std::int64_t size, std::int64_t minimum) {
  if (size >= minimum && size <= kMaxPartitionAreaSize) return std::nullopt;
  return vhdx::FailedOutside(check, size, minimum, kMaxPartitionAreaSize);
}

// Reads `buffer.size()` bytes at `offset` from the start of the data area.
StageResult ReadAt(platform::File& file, std::uint64_t dataAreaOffset, std::uint64_t batOffset, std::uint64_t offset,
                   AreaBuffer& buffer, Check seekCheck, Check readCheck) {
  // A data area or a position past the 64-bit range is refused like any
  // other bad seek.
  const std::uint64_t position = offset + dataAreaOffset;
  const bool outOfRange = dataAreaOffset < batOffset || position < offset;
  if (outOfRange) return FailedWithStatus(seekCheck, platform::kInvalidPositionStatus);
  if (!file.Seek(position)) return FailedWithStatus(seekCheck, file.LastError());
  const auto size =
      static_cast<std::uint32_t>(std::min<std::size_t>(buffer.size(), std::numeric_limits<std::uint32_t>::max()));
  std::uint32_t count = 0;
  if (!file.Read(buffer.data(), size, count)) return FailedWithStatus(readCheck, file.LastError());
  std::fill(buffer.data() + count, buffer.data() + buffer.size(), std::byte{0});
  return std::nullopt;
}

// The `Extent` bytes at `offset` of a buffer. The sizes checked before the
// buffers were allocated make every view fit; one that does not is refused
// like any other bad size.
template <std::size_t Extent>
std::optional<std::span<const std::byte, Extent>> View(const AreaBuffer& buffer, std::size_t offset,
                                                       StageResult& failure) {
  auto view = encoding::ViewAt<Extent>(buffer.view(), offset);
  if (!view && !failure)
    failure =
        Failed(Check::kPartitionTablesFit, static_cast<std::int64_t>(offset), static_cast<std::int64_t>(buffer.size()));
  return view;
}

// Makes room for the `fetched` bytes of an area of `size` bytes; a failure
// names the area's size, whichever policy is in force.
StageResult Allocate(AreaBuffer& buffer, std::int64_t size, std::int64_t fetched) {
  if (!buffer.Resize(static_cast<std::size_t>(fetched))) return vhdx::OutOfMemory(size);
  return std::nullopt;
}

// What is read of an area of `size` bytes whose tables end at `examined`.
std::int64_t FetchedLength(vhdx_inspect::ReadPolicy policy, std::int64_t size, std::int64_t examined) {
  return policy == vhdx_inspect::ReadPolicy::kWholeRegions ? size : std::min(size, examined);
}

StageResult ReadAndVerify(platform::File& file, Inspection& inspection, AreaBuffer& area, AreaBuffer& trailer,
                          vhdx_inspect::ReadPolicy policy) {
  const vhdx_inspect::PartitionAreaRecord& sizes = *inspection.partition_area;
  const vhdx_inspect::RegionsRecord& regions = *inspection.regions;
  const std::uint32_t sectorSize = inspection.metadata->logical_sector_size;

  if (StageResult failed =
          CheckAreaSize(Check::kPartitionAreaSize, sizes.mbr_gpt_size, MinPartitionTableAreaSize(sectorSize))) {
    return failed;
  }
  if (StageResult failed = CheckAreaSize(Check::kGptTrailerLength, sizes.gpt_trailer_length, kMinGptTrailerLength)) {
    return failed;
  }
  const std::int64_t areaFetched = FetchedLength(policy, sizes.mbr_gpt_size, MinPartitionTableAreaSize(sectorSize));
  if (StageResult failed = Allocate(area, sizes.mbr_gpt_size, areaFetched)) return failed;
  const std::int64_t trailerFetched = FetchedLength(policy, sizes.gpt_trailer_length, kMinGptTrailerLength);
  if (StageResult failed = Allocate(trailer, sizes.gpt_trailer_length, trailerFetched)) return failed;

  const std::size_t primaryHeaderOffset = sectorSize;
  const std::size_t primaryEntriesOffset = 2 * std::size_t{sectorSize};
  if (StageResult failed = ReadAt(file, regions.data_area_offset, regions.bat_offset, 0, area,
                                  Check::kPartitionAreaSeek, Check::kPartitionAreaRead)) {
    return failed;
  }
  StageResult misfit;
  const auto mbr = View<partition::kMbrSize>(area, 0, misfit);
  const auto primaryHeader = View<partition::kEfiHeaderSize>(area, primaryHeaderOffset, misfit);
  const auto primaryEntries = View<partition::kGptEntryArraySize>(area, primaryEntriesOffset, misfit);
  if (misfit) return misfit;
  inspection.mbr = partition::DecodeMbr(*mbr);
  inspection.primary_gpt = partition::DecodeGpt(*primaryHeader, *primaryEntries);

  if (StageResult failed = ReadAt(file, regions.data_area_offset, regions.bat_offset,
                                  static_cast<std::uint64_t>(sizes.gpt_trailer_offset), trailer, Check::kGptTrailerSeek,
                                  Check::kGptTrailerRead)) {
    return failed;
  }
  const auto backupEntries = View<partition::kGptEntryArraySize>(trailer, 0, misfit);
  const auto backupHeader = View<partition::kEfiHeaderSize>(trailer, kBackupHeaderOffset, misfit);
  if (misfit) return misfit;
  inspection.backup_gpt = partition::DecodeGpt(*backupHeader, *backupEntries);
  partition::VerifyGpt(*primaryHeader, *primaryEntries, *backupHeader, *backupEntries, inspection.gpt_findings);
  return std::nullopt;
}

}  // namespace

bool AreaBuffer::Resize(std::size_t size) {
  if (size > capacity_) {
    bytes_.reset();
    capacity_ = 0;
    bytes_.reset(new (std::nothrow) std::byte[size]);
    if (!bytes_) {
      size_ = 0;
      return false;
    }
    capacity_ = size;
  }
  size_ = size;
  return true;
}

void AreaBuffer::Trim() {
  if (capacity_ <= kLargestKept) return;
  bytes_.reset();
  capacity_ = 0;
  size_ = 0;
}

StageResult InspectPartitionTables(platform::File& file, Inspection& inspection, AreaBuffer& area, AreaBuffer& trailer,
                                   vhdx_inspect::ReadPolicy policy) {
  StageResult result = ReadAndVerify(file, inspection, area, trailer, policy);
  area.Trim();
  trailer.Trim();
  return result;
}

}  // namespace vhdx_inspect::detail::inspect
