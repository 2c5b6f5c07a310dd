// The structure pass: the VHDX container's own structures, checked as the
// published format states them, after the plugin's checks and whatever they
// found. It takes the header section's bytes while the header stage holds
// them (no read of its own for them), the metadata region through the
// metadata stage's window where that one lies at the same place, and reads
// the BAT itself, in windows of at most kBatWindowBytes, and the log when
// its LogGuid is set (log_check.h).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "platform/file.h"
#include "vhdx/header_section.h"
#include "vhdx/header_section_records.h"
#include "vhdx/piece_arena.h"
#include "vhdx/region_window.h"
#include "vhdx_inspect/inspection.h"

namespace vhdx_inspect::detail::vhdx {

inline constexpr std::uint32_t kBatWindowBytes = 1048576;

// One entry of the region table copy the pass goes by.
struct RegionEntry {
  Guid guid;
  std::uint64_t offset = 0;
  std::uint32_t length = 0;
  std::uint32_t required = 0;
};

class StructurePass {
 public:
  // Whether the header section's bytes were taken: the file identifier's
  // signature is VHDX's and the section was read. Nothing else runs unless
  // they were.
  bool started() const { return started_; }

  // Takes the examined part of the header section (both headers and both
  // region table copies), as the header stage fetched it, with the
  // checksums the stage computed.
  void TakeHeaderSection(std::span<const std::byte, kExaminedHeaderSectionSize> section,
                         const SectionChecksums& checksums);

  // The metadata region's place in the region table copy the pass goes by.
  std::optional<RegionEntry> MetadataRegion() const { return metadata_; }

  // Checks the rest and fills the structure findings and facts of
  // `inspection`. `metadata`: a window over the metadata region at its
  // place, or null; then one is made over `arena`.
  void Finish(platform::File& file, std::uint64_t fileSize, RegionWindow* metadata, PieceArena& arena,
              vhdx_inspect::Inspection& inspection);

 private:
  void CheckHeaders(std::span<const std::byte, kExaminedHeaderSectionSize> section, const SectionChecksums& checksums);
  void CheckRegionTables(std::span<const std::byte, kExaminedHeaderSectionSize> section,
                         const SectionChecksums& checksums);

  bool started_ = false;
  vhdx_inspect::StructureRecord record_;
  std::optional<std::uint64_t> logOffset_;
  std::uint32_t logLength_ = 0;
  bool logPresent_ = false;
  Guid logGuid_{};
  std::uint16_t logVersion_ = 0;
  std::vector<RegionEntry> regions_;
  std::optional<RegionEntry> bat_;
  std::optional<RegionEntry> metadata_;
  std::vector<vhdx_inspect::StructureFinding> findings_;
};

}  // namespace vhdx_inspect::detail::vhdx
