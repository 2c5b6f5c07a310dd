// The inspection of an image that is already open, or whose open failed:
// what both of Inspector's entries come down to, and what a program uses
// when it refuses a name before opening anything.
#pragma once

#include <string>

#include "platform/file.h"
#include "vhdx_inspect/inspect.h"

namespace inspect {

vhdx_inspect::Inspection InspectOpened(vhdx_inspect::Inspector& inspector, std::string path,
                                       platform::OpenResult opened);

}  // namespace inspect
