// For programs built on the library that take image names as their command
// line gives them: the text program's arguments are narrow strings, which on
// Windows are in the ANSI code page.
#pragma once

#include <cstdint>
#include <string>

#include "vhdx_inspect/inspect.h"

namespace vhdx_inspect {

// Opens `path` by its name in the system's narrow form (on Windows through
// the ANSI code page, as the program's narrow arguments come; on POSIX as
// Inspect does) and inspects it. Inspection::path is `path` as it is.
Inspection InspectNarrowName(Inspector& inspector, const std::string& path);

// The inspection of an image that the program refused to open, because its
// name cannot reach the file exactly: it ends as an open that failed with
// the system's `status`, named `path`.
Inspection RefusedOpen(Inspector& inspector, const std::string& path, std::uint32_t status);

}  // namespace vhdx_inspect
