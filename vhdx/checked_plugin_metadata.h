// What stage 2 read out of the plugin metadata item and checked: the records
// the metadata report prints, so that the report never reads through an
// offset from the image again.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "vhdx/metadata_records.h"

namespace vhdx {

// One volume: its entry in the plugin header, its record, and the length in
// bytes of its image file list before the terminating zero.
struct CheckedVolume {
  PLUGIN_METADATA_ENTRY entry;
  VOLUME_PLUGIN_METADATA record;
  std::uint64_t imageFileListBytes;
};

struct CheckedPluginMetadata {
  // Where the item starts, counted from the start of the metadata region.
  std::uint32_t offset = 0;
  PLUGIN_VHDX_METADATA header{};
  std::array<CheckedVolume, kMaxVolumes> volumes{};
  std::size_t volumeCount = 0;

  std::span<const CheckedVolume> Volumes() const { return std::span(volumes).first(volumeCount); }
};

}  // namespace vhdx
