// An image in memory standing in for a file whose reads can fail: the read
// that starts at a chosen position fails with a chosen status, as a failing
// disk or network share would make it, and every read is logged by the
// position it started at, so that a test sees which reads the reader made.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "platform/file.h"

namespace testsupport {

struct ReadFault {
  std::uint64_t position = 0;  // a read starting here fails
  vhdx_inspect::detail::platform::ErrorCode status = 0;
};

// Every read made through the file, failed ones included, by the position
// it started at.
using ReadLog = std::vector<std::uint64_t>;

// Opens `bytes`, which must outlive the file, logging into `log`, which must
// too.
vhdx_inspect::detail::platform::OpenResult OpenFaultyFile(std::span<const std::byte> bytes, ReadLog& log,
                                                          std::optional<ReadFault> fault = std::nullopt);

}  // namespace testsupport
