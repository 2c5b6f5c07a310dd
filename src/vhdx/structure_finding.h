// What the structure pass's checks share to state a finding: the finding
// itself, and numbers written in decimal whatever the image holds.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "vhdx_inspect/structure.h"

namespace vhdx_inspect::detail::vhdx {

inline vhdx_inspect::StructureFinding MakeFinding(vhdx_inspect::Check check, vhdx_inspect::Severity severity,
                                                  std::string description) {
  vhdx_inspect::StructureFinding finding;
  finding.check = check;
  finding.severity = severity;
  finding.description = std::move(description);
  return finding;
}

inline std::string Decimal(std::uint64_t value) { return std::to_string(value); }

}  // namespace vhdx_inspect::detail::vhdx
