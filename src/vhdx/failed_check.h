// A failed check as the container stages report it: the check, and the
// values it found. The views write the lines.
#pragma once

#include <cstdint>
#include <optional>

#include "platform/file.h"
#include "vhdx_inspect/inspection.h"

namespace vhdx_inspect::detail::vhdx {

using vhdx_inspect::Check;
using vhdx_inspect::Failure;

// What a stage returns: nothing when every check passed.
using StageResult = std::optional<Failure>;

inline Failure Failed(Check check) {
  return Failure{check, {}, std::nullopt, std::nullopt, std::nullopt, std::nullopt};
}

inline Failure Failed(Check check, std::int64_t found, std::int64_t expected) {
  return Failure{check, {}, std::nullopt, found, expected, std::nullopt};
}

// A value outside the range expected..expectedMax.
inline Failure FailedOutside(Check check, std::int64_t found, std::int64_t expected, std::int64_t expectedMax) {
  return Failure{check, {}, std::nullopt, found, expected, expectedMax};
}

// A failed open, read or positioning, with the system's error code.
inline Failure FailedWithStatus(Check check, platform::ErrorCode status) {
  return Failure{check, {}, status, std::nullopt, std::nullopt, std::nullopt};
}

// Memory that the system refused, at whatever stage: `bytes` asked for,
// where known.
inline Failure OutOfMemory(std::optional<std::int64_t> bytes = std::nullopt) {
  return Failure{Check::kOutOfMemory, {}, platform::kOutOfMemoryStatus, bytes, std::nullopt, std::nullopt};
}

}  // namespace vhdx_inspect::detail::vhdx
