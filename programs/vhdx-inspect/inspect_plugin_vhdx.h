#pragma once

#include <ostream>

#include "common/named_path.h"
#include "vhdx_inspect/inspect.h"

namespace app {

// Inspects one image from start to end and writes its text report: the
// container checks and report and, when the image has a GPT trailer, the
// MBR, both GPTs and their verification. A corrupt image ends with the
// "Exception occurred: " line; a name that is not exact is refused as an
// image whose open failed (common/named_path.h).
void InspectPluginVhdx(vhdx_inspect::Inspector& inspector, const vhdx_programs::NamedPath& image, std::ostream& out);

}  // namespace app
