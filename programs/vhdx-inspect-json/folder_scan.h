// The folder scan of vhdx-inspect-json: which entries are images, in which
// order, and what is said about what cannot be scanned.
#pragma once

#include <ostream>
#include <string>

#include "vhdx-inspect-json/image_run.h"

namespace json_app {

// Hands `run` every entry of `folder` that is not a folder and whose name
// ends in ".vhdx" exactly, in listing order. With `recursive`, a folder met
// in the listing is scanned where it is met, before the entries after it;
// a symbolic link to a folder is never followed.
//
// A folder that is missing, is not a folder or cannot be listed, and an
// image entry that cannot be examined, each get one line on `err`; the
// scan goes on with what remains. Returns false when that happened.
bool ScanFolder(const std::string& folder, bool recursive, ImageRun& run, std::ostream& err);

}  // namespace json_app
