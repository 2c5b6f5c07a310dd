// The paths and names that Python code hands to the module.
#pragma once

#include <pybind11/pybind11.h>

#include <string>

namespace vhdx_python {

// The bytes of `path` as the system names the file: a str is encoded as
// os.fsencode() does (undecodable bytes come back through surrogateescape),
// bytes are taken as they are, and an os.PathLike is asked for its path
// first. Anything else raises TypeError; a path with a NUL byte, ValueError.
std::string FileSystemPath(pybind11::handle path);

// `bytes` as a str, decoded as os.fsdecode() does, so that a name that is not
// UTF-8 survives the round trip through FileSystemPath.
pybind11::str FileSystemText(const std::string& bytes);

}  // namespace vhdx_python
