#include "guarded_inspector.h"

#include <pybind11/pybind11.h>

#include <stdexcept>

namespace vhdx_python {

namespace py = pybind11;

// This thread's turn with the inspector, for one inspection.
class GuardedInspector::Turn {
 public:
  explicit Turn(std::atomic<bool>& busy) : busy_(busy) {
    if (busy_.exchange(true, std::memory_order_acquire)) {
      throw std::runtime_error(
          "this vhdx_inspect.Inspector is inspecting an image in another thread; "
          "give each thread its own Inspector");
    }
  }
  ~Turn() { busy_.store(false, std::memory_order_release); }
  Turn(const Turn&) = delete;
  Turn& operator=(const Turn&) = delete;

 private:
  std::atomic<bool>& busy_;
};

vhdx_inspect::Inspection GuardedInspector::Inspect(const std::string& path) {
  const Turn turn(busy_);
  const py::gil_scoped_release released;
  return inspector_.Inspect(path);
}

vhdx_inspect::Inspection GuardedInspector::Inspect(std::span<const std::byte> image, const std::string& name) {
  const Turn turn(busy_);
  const py::gil_scoped_release released;
  return inspector_.Inspect(image, name);
}

}  // namespace vhdx_python
