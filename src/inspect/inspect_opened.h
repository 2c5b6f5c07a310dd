// The inspection of an image that is already open, or whose open failed:
// what both of Inspector's entries come down to, and what a program uses
// when it refuses a name before opening anything.
#pragma once

#include <new>
#include <string>

#include "platform/file.h"
#include "vhdx_inspect/inspect.h"

namespace vhdx_inspect::detail::inspect {

vhdx_inspect::Inspection InspectOpened(vhdx_inspect::Inspector& inspector, std::string path,
                                       platform::OpenResult opened);

// An inspection that found no memory for its records: it ends as one that
// failed before any of them, with inspection.out_of_memory.
vhdx_inspect::Inspection OutOfMemory(const std::string& path);

// Runs `inspect`, so that no exception leaves the library: memory that runs
// out while the records are built ends the inspection of `path` with
// OutOfMemory.
template <typename Inspect>
vhdx_inspect::Inspection InspectGuarded(const std::string& path, Inspect inspect) {
  try {
    return inspect();
  } catch (const std::bad_alloc&) {
    return OutOfMemory(path);
  }
}

}  // namespace vhdx_inspect::detail::inspect
