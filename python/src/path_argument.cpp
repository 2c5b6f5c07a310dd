#include "path_argument.h"

namespace vhdx_python {

namespace py = pybind11;

std::string FileSystemPath(py::handle path) {
  if (!PyUnicode_Check(path.ptr()) && !PyBytes_Check(path.ptr()) && !PyObject_HasAttrString(path.ptr(), "__fspath__")) {
    throw py::type_error(std::string("path must be str, bytes or os.PathLike, not ") + Py_TYPE(path.ptr())->tp_name);
  }
  PyObject* converted = nullptr;
  // PyUnicode_FSConverter: os.fspath(), then os.fsencode() for a str; it
  // refuses NUL bytes with ValueError.
  if (PyUnicode_FSConverter(path.ptr(), &converted) == 0) throw py::error_already_set();
  const py::bytes encoded = py::reinterpret_steal<py::bytes>(converted);
  return std::string(encoded);
}

py::str FileSystemText(const std::string& bytes) {
  PyObject* text = PyUnicode_DecodeFSDefaultAndSize(bytes.data(), static_cast<Py_ssize_t>(bytes.size()));
  if (text == nullptr) throw py::error_already_set();
  return py::reinterpret_steal<py::str>(text);
}

}  // namespace vhdx_python
