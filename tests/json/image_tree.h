// Folders of images for the JSON program's scans: a sound or a damaged image
// at a path, and one tree of images and entries that are not.
#pragma once

#include <filesystem>

#include "support/scratch_directory.h"

namespace json_test {

// The sample image.
void WriteSound(const std::filesystem::path& path);
// The sample image with a wrong file identifier: corrupt.
void WriteDamaged(const std::filesystem::path& path);

// The folder "tree" in `scratch`, with images and entries that are not:
// a.vhdx, c.vhdx and upper.VHDX sound, b.vhdx damaged, twice.vhdx.bak (a
// name that only looks like an image's), an image-named folder folder.vhdx,
// and a folder below with two more images, below/d.vhdx and
// below/deeper/e.vhdx. Returns its path.
std::filesystem::path WriteTree(const testsupport::ScratchDirectory& scratch);

}  // namespace json_test
