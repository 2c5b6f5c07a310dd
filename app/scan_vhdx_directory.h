#pragma once

#include <ostream>
#include <string>

namespace app {

// Inspects every entry of `directoryPath` that is not a directory and whose
// extension is exactly ".vhdx", in listing order, without descending.
void ScanVhdxDirectory(std::string directoryPath, std::ostream& out);

}  // namespace app
