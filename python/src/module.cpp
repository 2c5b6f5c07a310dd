// vhdx_inspect._native: the library's inspection, and the programs' folder
// walk, for Python. The package vhdx_inspect (../vhdx_inspect/__init__.py)
// re-exports it; its stubs are ../vhdx_inspect/__init__.pyi.
#include <pybind11/pybind11.h>

#include <cstddef>
#include <memory>
#include <span>
#include <string>

#include "guarded_inspector.h"
#include "image_folder.h"
#include "inspection_types.h"
#include "path_argument.h"
#include "vhdx_inspect/inspection.h"

namespace vhdx_python {
namespace {

namespace py = pybind11;

// The bytes of a buffer-protocol object, held without a copy for as long as
// this lives (a bytearray cannot be resized meanwhile).
class HeldBuffer {
 public:
  explicit HeldBuffer(py::handle data) {
    if (PyUnicode_Check(data.ptr())) throw py::type_error("data must be a bytes-like object, not str");
    if (PyObject_GetBuffer(data.ptr(), &view_, PyBUF_SIMPLE) != 0) throw py::error_already_set();
  }
  ~HeldBuffer() { PyBuffer_Release(&view_); }
  HeldBuffer(const HeldBuffer&) = delete;
  HeldBuffer& operator=(const HeldBuffer&) = delete;

  std::span<const std::byte> bytes() const {
    return {static_cast<const std::byte*>(view_.buf), static_cast<std::size_t>(view_.len)};
  }

 private:
  Py_buffer view_{};
};

vhdx_inspect::Inspection InspectPath(GuardedInspector& inspector, py::handle path) {
  return inspector.Inspect(FileSystemPath(path));
}

vhdx_inspect::Inspection InspectBytes(GuardedInspector& inspector, py::handle data, py::handle name) {
  const std::string shownName = name.is_none() ? std::string() : FileSystemPath(name);
  const HeldBuffer buffer(data);
  return inspector.Inspect(buffer.bytes(), shownName);
}

// The module-level functions' inspector: one per thread, kept for the
// thread's life, so that a loop over images reuses its buffers as an
// Inspector would.
GuardedInspector& ThreadInspector() {
  thread_local GuardedInspector inspector;
  return inspector;
}

constexpr const char* kInspectDoc =
    "Inspects the image at `path` (str, bytes or os.PathLike; bytes reach any name\n"
    "the system allows) and returns an Inspection. Image faults are verdicts, never\n"
    "exceptions; the GIL is released while the image is read.";
constexpr const char* kInspectBytesDoc =
    "Inspects an image held in memory: `data` is any bytes-like object, read in\n"
    "place without a copy; `name` (str, bytes, os.PathLike or None for \"\") is what\n"
    "the lines that name the file say.";

}  // namespace
}  // namespace vhdx_python

PYBIND11_MODULE(_native, module) {
  namespace py = pybind11;
  using vhdx_python::GuardedInspector;
  module.doc() = "Inspection of plugin VHDX images (the vhdx-inspect library).";
  vhdx_python::BindInspectionTypes(module);
  vhdx_python::BindFindImages(module);

  py::class_<GuardedInspector> inspector(module, "Inspector",
                                         "Inspects one image after another, reusing its working buffers.\n"
                                         "One Inspector serves one thread at a time: a second thread that uses it\n"
                                         "while it is inspecting gets RuntimeError.");
  inspector.attr("__module__") = "vhdx_inspect";
  inspector.def(py::init<>())
      .def("inspect", &vhdx_python::InspectPath, py::arg("path"), vhdx_python::kInspectDoc)
      .def("inspect_bytes", &vhdx_python::InspectBytes, py::arg("data"), py::arg("name") = "",
           vhdx_python::kInspectBytesDoc);

  module.def(
      "inspect", [](py::handle path) { return vhdx_python::InspectPath(vhdx_python::ThreadInspector(), path); },
      py::arg("path"), vhdx_python::kInspectDoc);
  module.def(
      "inspect_bytes",
      [](py::handle data, py::handle name) {
        return vhdx_python::InspectBytes(vhdx_python::ThreadInspector(), data, name);
      },
      py::arg("data"), py::arg("name") = "", vhdx_python::kInspectBytesDoc);
}
