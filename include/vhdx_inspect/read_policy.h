// Which bytes of an image an inspection reads.
#pragma once

namespace vhdx_inspect {

enum class ReadPolicy {
  // Only the bytes that the checks examine: the first 320 KiB of the header
  // section (the file identifier, both headers and both region table
  // copies), the metadata table and the items it points to, and the parts of
  // the partition-table area and of the GPT trailer that hold the tables.
  // Each area is fetched in one request (the metadata region in two: its
  // table, then its items), and no byte is read twice. A file whose size
  // cannot be known is read as with kWholeRegions.
  kExaminedExtents,
  // The whole header section (1 MiB) and the whole metadata region (2 MiB),
  // one read each, and the partition-table area and the GPT trailer at the
  // sizes that the plugin metadata gives.
  kWholeRegions,
};

}  // namespace vhdx_inspect
