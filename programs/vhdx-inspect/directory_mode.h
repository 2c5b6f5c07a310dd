// Directory mode: the shared folder walk (common/folder_walk.h) with the
// text report as its sink.
#pragma once

#include <ostream>

#include "common/named_path.h"

namespace app {

// Inspects every entry of `folder` that is not a directory and whose
// extension is exactly ".vhdx", in listing order, without descending, each
// image's report after the other. What cannot be walked gets its line in the
// report, on `out`: a folder that does not exist (or whose name is refused),
// that is not a directory or that cannot be listed, and an image entry that
// cannot be examined.
void ScanVhdxDirectory(const vhdx_programs::NamedPath& folder, std::ostream& out);

}  // namespace app
