// vhdx_inspect.find_images: the folder walk that vhdx-inspect-json makes
// (programs/common/folder_walk.h), its findings handed to Python as a list of
// names and OSErrors.
#pragma once

#include <pybind11/pybind11.h>

namespace vhdx_python {

// Adds find_images(folder, recursive=False, *, onerror=None) to `module`.
void BindFindImages(pybind11::module_& module);

}  // namespace vhdx_python
