// The Python classes of an inspection's value: Inspection, Failure, Finding,
// Warning and the records, each attribute named as the library's field.
#pragma once

#include <pybind11/pybind11.h>

namespace vhdx_python {

// Adds the classes, and the str-valued enums Verdict and GptSide, to `module`.
void BindInspectionTypes(pybind11::module_& module);

}  // namespace vhdx_python
