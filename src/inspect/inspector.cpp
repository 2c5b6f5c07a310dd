#include <new>
#include <utility>

#include "inspect/conclusion.h"
#include "inspect/inspect_opened.h"
#include "inspect/partition_tables.h"
#include "platform/memory_file.h"
#include "platform/zeroed_buffer.h"
#include "vhdx/header_section.h"
#include "vhdx/header_section_records.h"
#include "vhdx/metadata.h"
#include "vhdx/metadata_records.h"
#include "vhdx_inspect/inspect.h"

namespace vhdx_inspect {
namespace detail {

// The working buffers, kept from image to image: those of the two container
// stages, filled whole by each image's reads (bench/README.md: fresh pages
// for every image cost several times the rest of an inspection), and those
// of the partition tables.
struct Buffers {
  platform::ZeroedBuffer headerSection{vhdx::kHeaderSectionSize};
  platform::ZeroedBuffer metadataRegion{vhdx::kMetadataRegionReadSize};
  inspect::AreaBuffer partitionArea;
  inspect::AreaBuffer gptTrailer;
};

struct Access {
  // The inspector's buffers, made again when an earlier attempt found no
  // memory; null when there is still none. An empty buffer makes its stage
  // report the failed allocation.
  static Buffers* Of(Inspector& inspector) {
    if (!inspector.buffers_ || inspector.buffers_->headerSection.size() == 0 ||
        inspector.buffers_->metadataRegion.size() == 0) {
      inspector.buffers_.reset();
      inspector.buffers_.reset(new (std::nothrow) Buffers);
    }
    return inspector.buffers_.get();
  }
};

}  // namespace detail

Inspector::Inspector() : buffers_(new (std::nothrow) detail::Buffers) {}
Inspector::~Inspector() = default;
Inspector::Inspector(Inspector&&) noexcept = default;
Inspector& Inspector::operator=(Inspector&&) noexcept = default;

Inspection Inspector::Inspect(const std::filesystem::path& path) {
  const std::string name = platform::NameAsText(path);
  return inspect::InspectGuarded(
      name, [&] { return inspect::InspectOpened(*this, name, platform::OpenForExclusiveRead(path)); });
}

Inspection Inspector::Inspect(std::span<const std::byte> image, const std::string& name) {
  return inspect::InspectGuarded(name, [&] {
    return inspect::InspectOpened(*this, name, {platform::MakeMemoryFile(image), 0});
  });
}

}  // namespace vhdx_inspect

namespace inspect {
namespace {

using vhdx_inspect::Check;
using vhdx_inspect::Inspection;

vhdx::StageResult Run(platform::File* file, platform::ErrorCode openStatus, vhdx_inspect::detail::Buffers* buffers,
                      Inspection& inspection) {
  if (file == nullptr) return vhdx::FailedWithStatus(Check::kImageOpen, openStatus);
  if (buffers == nullptr) return vhdx::FailedWithStatus(Check::kHeaderSectionRead, platform::kOutOfMemoryStatus);
  if (vhdx::StageResult failed = vhdx::CheckHeaderSection(*file, buffers->headerSection, inspection)) return failed;
  if (!inspection.header->log_guid.IsZero()) {
    inspection.warnings.push_back({Check::kLogNotReplayed, {}, std::nullopt, std::nullopt});
  }
  if (vhdx::StageResult failed = vhdx::CheckMetadata(*file, buffers->metadataRegion, inspection)) return failed;
  if (!inspection.partition_area) return std::nullopt;
  return InspectPartitionTables(*file, inspection, buffers->partitionArea, buffers->gptTrailer);
}

}  // namespace

Inspection InspectOpened(vhdx_inspect::Inspector& inspector, std::string path, platform::OpenResult opened) {
  Inspection inspection;
  inspection.path = std::move(path);
  inspection.failure = Run(opened.file.get(), opened.status, vhdx_inspect::detail::Access::Of(inspector), inspection);
  Conclude(inspection);
  return inspection;
}

Inspection OutOfMemory(const std::string& path) {
  Inspection inspection;
  inspection.path = path;
  inspection.failure = vhdx::FailedWithStatus(Check::kOutOfMemory, platform::kOutOfMemoryStatus);
  Conclude(inspection);
  return inspection;
}

Inspection InspectNarrow(vhdx_inspect::Inspector& inspector, const std::string& path) {
  return InspectGuarded(path,
                        [&] { return InspectOpened(inspector, path, platform::OpenNarrowForExclusiveRead(path)); });
}

}  // namespace inspect
