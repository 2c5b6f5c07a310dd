// The GPT partition types the report names, with the name a partition of
// that type is expected to carry.
#pragma once

#include <string_view>

#include "encoding/little_endian.h"

namespace vhdx_inspect::detail::partition {

struct PartitionType {
  encoding::Guid guid;
  std::string_view typeText;
  std::string_view expectedName;  // empty: the name is not checked
};

// The known type whose GUID equals `guid`, or the unknown type.
const PartitionType& ClassifyPartitionType(const encoding::Guid& guid);

}  // namespace vhdx_inspect::detail::partition
