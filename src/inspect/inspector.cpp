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
#include "vhdx/piece_arena.h"
#include "vhdx/region_window.h"
#include "vhdx/structure.h"
#include "vhdx_inspect/inspect.h"
#include "vhdx_inspect/program_support.h"

namespace vhdx_inspect {
namespace detail {

// The buffers of the two container stages when whole regions are read,
// filled whole by each image's reads and kept from image to image
// (bench/README.md: fresh pages for every image cost several times the rest
// of an inspection).
struct WholeRegions {
  platform::ZeroedBuffer headerSection{vhdx::kHeaderSectionSize};
  platform::ZeroedBuffer metadataRegion{vhdx::kMetadataRegionReadSize};
  bool complete() const { return headerSection.size() != 0 && metadataRegion.size() != 0; }
};

// The working buffers, kept from image to image: those of whole regions,
// made when an image is first read whole, the arena of examined extents,
// and those of the partition tables.
struct Buffers {
  std::unique_ptr<WholeRegions> whole;
  vhdx::PieceArena pieces;
  inspect::AreaBuffer partitionArea;
  inspect::AreaBuffer gptTrailer;
};

struct Access {
  static ReadPolicy PolicyOf(const Inspector& inspector) { return inspector.policy_; }
  static Structure StructureOf(const Inspector& inspector) { return inspector.structure_; }

  // The inspector's buffers, made again when an earlier attempt found no
  // memory; null when there is still none.
  static Buffers* Of(Inspector& inspector) {
    if (!inspector.buffers_) inspector.buffers_.reset(new (std::nothrow) Buffers);
    return inspector.buffers_.get();
  }

  // The buffers of whole regions, made again when an earlier attempt found
  // no memory for one of them; null when there is still none. An empty
  // buffer makes its stage report the failed allocation.
  static WholeRegions* WholeOf(Buffers& buffers) {
    if (!buffers.whole || !buffers.whole->complete()) {
      buffers.whole.reset();
      buffers.whole.reset(new (std::nothrow) WholeRegions);
    }
    return buffers.whole.get();
  }
};

}  // namespace detail

Inspector::Inspector(ReadPolicy policy, Structure structure)
    : policy_(policy), structure_(structure), buffers_(new (std::nothrow) detail::Buffers) {
  // The text program's inspector holds its 3 MiB from the start, as it
  // always has.
  if (buffers_ && policy_ == ReadPolicy::kWholeRegions) detail::Access::WholeOf(*buffers_);
}
Inspector::~Inspector() = default;
Inspector::Inspector(Inspector&&) noexcept = default;
Inspector& Inspector::operator=(Inspector&&) noexcept = default;

Inspection Inspector::Inspect(const std::filesystem::path& path) {
  const std::string name = detail::platform::NameAsText(path);
  return detail::inspect::InspectGuarded(
      name, [&] { return detail::inspect::InspectOpened(*this, name, detail::platform::OpenForExclusiveRead(path)); });
}

Inspection Inspector::Inspect(std::span<const std::byte> image, const std::string& name) {
  return detail::inspect::InspectGuarded(name, [&] {
    return detail::inspect::InspectOpened(*this, name, {detail::platform::MakeMemoryFile(image), 0});
  });
}

Inspection InspectNarrowName(Inspector& inspector, const std::string& path) {
  return detail::inspect::InspectGuarded(path, [&] {
    return detail::inspect::InspectOpened(inspector, path, detail::platform::OpenNarrowForExclusiveRead(path));
  });
}

Inspection RefusedOpen(Inspector& inspector, const std::string& path, std::uint32_t status) {
  return detail::inspect::InspectGuarded(path, [&] {
    return detail::inspect::InspectOpened(inspector, path, detail::platform::OpenResult{nullptr, status});
  });
}

}  // namespace vhdx_inspect

namespace vhdx_inspect::detail::inspect {
namespace {

using vhdx::RegionWindow;
using vhdx_inspect::Check;
using vhdx_inspect::Inspection;
using vhdx_inspect::ReadPolicy;

constexpr vhdx::RegionChecks kHeaderSectionChecks{Check::kHeaderSectionRead, Check::kHeaderSectionRead};
constexpr vhdx::RegionChecks kMetadataRegionChecks{Check::kMetadataRegionSeek, Check::kMetadataRegionRead};

// The regions of the two container stages, read the way the policy says:
// examined extents of a file of known length, or whole regions into the
// inspector's buffers.
class StageRegions {
 public:
  StageRegions(platform::File& file, std::uint64_t fileSize, vhdx::PieceArena& pieces)
      : file_(file), fileSize_(fileSize), pieces_(&pieces) {}
  StageRegions(platform::File& file, vhdx_inspect::detail::WholeRegions& whole) : file_(file), whole_(&whole) {}

  // The header section; the file stands at its start after the open.
  RegionWindow HeaderSection() const {
    if (whole_ == nullptr) {
      return RegionWindow::ExaminedExtents(file_, 0, vhdx::kHeaderSectionSize, kHeaderSectionChecks, fileSize_, true,
                                           *pieces_);
    }
    return RegionWindow::WholeRegion(file_, 0, vhdx::kHeaderSectionSize, kHeaderSectionChecks, whole_->headerSection,
                                     true);
  }

  RegionWindow MetadataRegion(std::uint64_t origin) const {
    if (whole_ == nullptr) {
      return RegionWindow::ExaminedExtents(file_, origin, vhdx::kMetadataRegionReadSize, kMetadataRegionChecks,
                                           fileSize_, false, *pieces_);
    }
    return RegionWindow::WholeRegion(file_, origin, vhdx::kMetadataRegionReadSize, kMetadataRegionChecks,
                                     whole_->metadataRegion, false);
  }

 private:
  platform::File& file_;
  std::uint64_t fileSize_ = 0;
  vhdx::PieceArena* pieces_ = nullptr;
  vhdx_inspect::detail::WholeRegions* whole_ = nullptr;
};

// Whether the header section was read and examined, so that the structure
// pass can take its bytes: every failure after the read but the file
// identifier's signature, which the pass checks itself.
bool SectionExamined(const vhdx::StageResult& failed) {
  if (!failed) return true;
  switch (failed->check) {
    case Check::kHeaderSectionRead:
    case Check::kHeaderSectionShort:
    case Check::kOutOfMemory:
      return false;
    default:
      return true;
  }
}

// The two container stages; `pass`, when there is one, takes the header
// section's bytes while they are held, and `metadata` keeps the metadata
// stage's window for it.
vhdx::StageResult RunStages(const StageRegions& regions, Inspection& inspection, vhdx::StructurePass* pass,
                            std::optional<RegionWindow>& metadata) {
  {
    // The header section's bytes go before the metadata region's come in.
    RegionWindow section = regions.HeaderSection();
    vhdx::SectionChecksums checksums;
    vhdx::StageResult failed = vhdx::CheckHeaderSection(section, inspection, checksums);
    if (pass != nullptr && SectionExamined(failed)) {
      std::span<std::byte> bytes;
      if (!section.Fetch({0, vhdx::kExaminedHeaderSectionSize}, bytes)) {
        if (const auto examined = encoding::ViewAt<vhdx::kExaminedHeaderSectionSize>(bytes, 0)) {
          pass->TakeHeaderSection(*examined, checksums);
        }
      }
    }
    if (failed) return failed;
  }
  if (!inspection.header->log_guid.IsZero()) {
    inspection.warnings.push_back({Check::kLogNotReplayed, {}, std::nullopt, std::nullopt});
  }
  metadata.emplace(regions.MetadataRegion(inspection.regions->metadata_offset));
  return vhdx::CheckMetadata(*metadata, inspection);
}

// The structure pass after every other check, with the metadata stage's
// window where it lies where the pass looks (no two windows share the arena
// at once).
void FinishStructure(vhdx::StructurePass& pass, platform::File& file, std::optional<std::uint64_t> fileSize,
                     std::optional<RegionWindow>& metadata, vhdx::PieceArena& pieces, Inspection& inspection) {
  if (!fileSize) fileSize = file.Size();
  const std::optional<vhdx::RegionEntry> place = pass.MetadataRegion();
  const bool reuse = metadata && place && inspection.regions && inspection.regions->metadata_offset == place->offset &&
                     metadata->size() >= place->length;
  if (!reuse) metadata.reset();
  if (!fileSize) return;
  pass.Finish(file, *fileSize, reuse ? &*metadata : nullptr, pieces, inspection);
}

vhdx::StageResult Run(platform::File* file, platform::ErrorCode openStatus, vhdx_inspect::Inspector& inspector,
                      Inspection& inspection) {
  if (file == nullptr) return vhdx::FailedWithStatus(Check::kImageOpen, openStatus);
  vhdx_inspect::detail::Buffers* buffers = vhdx_inspect::detail::Access::Of(inspector);
  if (buffers == nullptr) return vhdx::OutOfMemory();

  // Examined extents need the file's length; where it cannot be known the
  // image is read whole.
  ReadPolicy policy = vhdx_inspect::detail::Access::PolicyOf(inspector);
  const std::optional<std::uint64_t> fileSize = policy == ReadPolicy::kExaminedExtents ? file->Size() : std::nullopt;
  if (!fileSize) policy = ReadPolicy::kWholeRegions;

  std::optional<vhdx::StructurePass> pass;
  if (vhdx_inspect::detail::Access::StructureOf(inspector) == vhdx_inspect::Structure::kChecked) pass.emplace();
  std::optional<RegionWindow> metadata;
  vhdx::StageResult failed;
  if (fileSize) {
    file->AdviseRandomAccess();
    buffers->pieces.Reset();
    failed = RunStages(StageRegions(*file, *fileSize, buffers->pieces), inspection, pass ? &*pass : nullptr, metadata);
  } else {
    vhdx_inspect::detail::WholeRegions* whole = vhdx_inspect::detail::Access::WholeOf(*buffers);
    if (whole == nullptr) return vhdx::OutOfMemory();
    failed = RunStages(StageRegions(*file, *whole), inspection, pass ? &*pass : nullptr, metadata);
  }
  if (!pass) metadata.reset();
  if (!failed && inspection.partition_area) {
    failed = InspectPartitionTables(*file, inspection, buffers->partitionArea, buffers->gptTrailer, policy);
  }
  if (pass && pass->started()) FinishStructure(*pass, *file, fileSize, metadata, buffers->pieces, inspection);
  return failed;
}

}  // namespace

Inspection InspectOpened(vhdx_inspect::Inspector& inspector, std::string path, platform::OpenResult opened) {
  Inspection inspection;
  inspection.path = std::move(path);
  inspection.failure = Run(opened.file.get(), opened.status, inspector, inspection);
  // A structure failure ends an inspection that no other check ended.
  if (!inspection.failure) {
    for (const vhdx_inspect::StructureFinding& finding : inspection.structure_findings) {
      if (finding.severity != vhdx_inspect::Severity::kFailure) continue;
      inspection.failure = vhdx_inspect::Failure{finding.check, finding.description, std::nullopt,
                                                 finding.found, finding.expected,    std::nullopt};
      break;
    }
  }
  Conclude(inspection);
  return inspection;
}

Inspection OutOfMemory(const std::string& path) {
  Inspection inspection;
  inspection.path = path;
  inspection.failure = vhdx::OutOfMemory();
  Conclude(inspection);
  return inspection;
}

}  // namespace vhdx_inspect::detail::inspect
