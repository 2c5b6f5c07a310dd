#pragma once

#include <ostream>
#include <string>

#include "platform/file.h"

namespace app {

// Inspects one image from start to end: the container checks and report and,
// when the image has a GPT trailer, the MBR, both GPTs and their verification.
// A corrupt image ends with the "Exception occurred: " line; never raises it.
void InspectPluginVhdx(std::string imagePath, std::ostream& out);

// The same inspection of an image that is already open (or whose open
// failed), such as an in-memory image; `imagePath` is the name it is
// reported under.
void InspectPluginVhdx(std::string imagePath, platform::OpenResult opened, std::ostream& out);

}  // namespace app
