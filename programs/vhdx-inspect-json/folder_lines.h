// vhdx-inspect-json's folder mode: the shared folder walk
// (common/folder_walk.h), each image handed to an ImageRun, and a line on
// standard error for what cannot be walked.
#pragma once

#include <ostream>
#include <string_view>

#include "common/named_path.h"
#include "vhdx-inspect-json/image_run.h"

namespace json_app {

// Hands `run` every entry of `folder` that is not a folder and whose name
// ends in ".vhdx" in any case (BACKUP.VHDX, x.Vhdx), in listing order; with
// `recursive`, the folders below too, where they are met (links to folders
// are not followed). Ctrl+C ends the walk between two entries
// (RunInterrupted).
//
// A folder that is missing, is not a folder or cannot be listed, and an
// image entry that cannot be examined, each get one line on `err`, after
// "<program>: "; the walk goes on with what remains. Returns false when that
// happened.
bool ScanFolder(const vhdx_programs::NamedPath& folder, bool recursive, ImageRun& run, std::ostream& err,
                std::string_view program);

}  // namespace json_app
