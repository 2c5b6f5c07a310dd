// Each failure's, finding's and warning's line as the text program prints it
// for the image inspected alone, without tabs, trailing blanks or line end:
// what the JSON object and the Python module give as "message", beside the
// library's plain description.
#pragma once

#include <string>

#include "vhdx_inspect/inspection.h"

namespace vhdx_inspect::views::text {

// The failure's line; empty when the inspection has no failure, and for a
// failed read of the metadata region, which the report follows with no line
// of its own.
std::string FailureMessage(const Inspection& inspection);

// "HeaderCRC32 is invalid." and the like.
std::string FindingMessage(const Finding& finding);

// The virtual-size warning's line and the invalid-name line as the report
// prints them; for a non-zero LogGuid, which the report does not print, the
// description.
std::string WarningMessage(const Inspection& inspection, const Warning& warning);

}  // namespace vhdx_inspect::views::text
