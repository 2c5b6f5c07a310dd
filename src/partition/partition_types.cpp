#include "partition/partition_types.h"

#include <array>

namespace vhdx_inspect::detail::partition {
namespace {

constexpr std::array<PartitionType, 3> kKnownTypes{{
    {{{0xA2, 0xA0, 0xD0, 0xEB, 0xE5, 0xB9, 0x33, 0x44, 0x87, 0xC0, 0x68, 0xB6, 0xB7, 0x26, 0x99, 0xC7}},
     "Data partition",
     "Basic data partition"},
    {{{0x16, 0xE3, 0xC9, 0xE3, 0x5C, 0x0B, 0xB8, 0x4D, 0x81, 0x7D, 0xF9, 0x2D, 0xF0, 0x02, 0x15, 0xAE}},
     "Microsoft reserved partition",
     "Microsoft reserved partition"},
    {{{0x28, 0x73, 0x2A, 0xC1, 0x1F, 0xF8, 0xD2, 0x11, 0xBA, 0x4B, 0x00, 0xA0, 0xC9, 0x3E, 0xC9, 0x3B}},
     "EFI system partition",
     "EFI system partition"},
}};

constexpr PartitionType kUnknownType{{}, "Unknown partition type", ""};

}  // namespace

const PartitionType& ClassifyPartitionType(const encoding::Guid& guid) {
  for (const PartitionType& type : kKnownTypes) {
    if (type.guid == guid) return type;
  }
  return kUnknownType;
}

}  // namespace vhdx_inspect::detail::partition
