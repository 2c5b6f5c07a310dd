#pragma once

#include <ostream>
#include <string>

namespace app {

// Inspects one image from start to end: the container checks and report and,
// when the image has a GPT trailer, the MBR, both GPTs and their verification.
// A corrupt image ends with the "Exception occurred: " line; never raises it.
void InspectPluginVhdx(std::string imagePath, std::ostream& out);

}  // namespace app
