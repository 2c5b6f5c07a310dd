#pragma once

#include <ostream>
#include <string>

#include "platform/file.h"
#include "vhdx_inspect/inspect.h"

namespace app {

// Inspects one image from start to end and writes its text report: the
// container checks and report and, when the image has a GPT trailer, the
// MBR, both GPTs and their verification. A corrupt image ends with the
// "Exception occurred: " line.
void InspectPluginVhdx(vhdx_inspect::Inspector& inspector, const std::string& imagePath, std::ostream& out);

// The same for an image that is already open, or whose open failed;
// `imagePath` is the name it is reported under.
void InspectPluginVhdx(vhdx_inspect::Inspector& inspector, std::string imagePath, platform::OpenResult opened,
                       std::ostream& out);

}  // namespace app
