// The partition tables in the data area: the partition-table area (MBR,
// primary GPT header and entries) and the GPT trailer (backup entries, then
// the backup header), read, decoded and verified.
#pragma once

#include <cstddef>
#include <memory>
#include <span>

#include "platform/file.h"
#include "vhdx/failed_check.h"
#include "vhdx_inspect/inspection.h"
#include "vhdx_inspect/read_policy.h"

namespace vhdx_inspect::detail::inspect {

// A buffer for the partition-table area or the GPT trailer, kept by the
// inspector from image to image. It is not cleared: a read fills all of it,
// with zeros after whatever a short read did not deliver.
class AreaBuffer {
 public:
  // Makes room for `size` bytes; false when the memory cannot be had.
  bool Resize(std::size_t size);
  // Gives back memory beyond what a sound image needs.
  void Trim();
  std::byte* data() { return bytes_.get(); }
  std::size_t size() const { return size_; }
  std::span<const std::byte> view() const { return {bytes_.get(), size_}; }

 private:
  std::unique_ptr<std::byte[]> bytes_;
  std::size_t capacity_ = 0;
  std::size_t size_ = 0;
};

// Checks the sizes that the plugin header gives, reads both areas into
// `area` and `trailer` and fills the MBR, both GPTs and the findings of
// `inspection`, which has passed both container stages and names a GPT
// trailer. Under examined extents only the start of each area that holds
// its tables is read: the MBR and the primary GPT (2 sectors and the entry
// array), and the backup entries and header (16,476 bytes).
vhdx::StageResult InspectPartitionTables(platform::File& file, vhdx_inspect::Inspection& inspection, AreaBuffer& area,
                                         AreaBuffer& trailer, vhdx_inspect::ReadPolicy policy);

}  // namespace vhdx_inspect::detail::inspect
