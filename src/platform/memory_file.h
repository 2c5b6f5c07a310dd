// An image held in memory, standing in for a file in tests and fuzzing.
#pragma once

#include <cstddef>
#include <memory>
#include <span>

#include "platform/file.h"

namespace vhdx_inspect::detail::platform {

// A read-only file over `bytes`, which must outlive it.
std::unique_ptr<File> MakeMemoryFile(std::span<const std::byte> bytes);

}  // namespace vhdx_inspect::detail::platform
