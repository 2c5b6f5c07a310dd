// The plain sentence that each failure, finding and warning carries: what
// was found, in words a person reads without knowing the format's field
// names, the same on every platform but for the system's own text of a
// status. Numbers are decimal, checksums hexadecimal with "0x".
#pragma once

#include <string>

#include "vhdx_inspect/inspection.h"

namespace vhdx_inspect::detail::inspect {

// `inspection` gives the records a sentence names beside the failure's own
// facts (the GPT header's values, the sizes of the virtual disk).
std::string DescribeFailure(const vhdx_inspect::Failure& failure);
std::string DescribeFinding(const vhdx_inspect::Finding& finding, const vhdx_inspect::Inspection& inspection);
std::string DescribeWarning(const vhdx_inspect::Warning& warning, const vhdx_inspect::Inspection& inspection);

}  // namespace vhdx_inspect::detail::inspect
