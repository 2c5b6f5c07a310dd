#pragma once

#include <ostream>
#include <string>

namespace app {

// Inspects every entry of `directoryPath` that is not a directory and whose
// extension is exactly ".vhdx", in listing order, without descending.
// An entry whose name has no exact narrow form is reported as an image whose
// open failed (common/narrow_arguments.h) and the scan goes on.
void ScanVhdxDirectory(std::string directoryPath, std::ostream& out);

// The line of a folder that does not exist.
void ReportMissingDirectory(const std::string& directoryPath, std::ostream& out);

}  // namespace app
