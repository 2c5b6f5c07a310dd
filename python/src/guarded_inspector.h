// An inspector that Python code may share between threads by mistake: the
// inspection runs without the GIL, and a second thread that asks the same
// inspector while it is busy gets an error instead of a share of its buffers.
#pragma once

#include <atomic>
#include <span>
#include <string>

#include "vhdx_inspect/inspect.h"

namespace vhdx_python {

class GuardedInspector {
 public:
  // Both release the GIL while the image is inspected, and raise
  // RuntimeError when another thread is inspecting with this inspector.
  vhdx_inspect::Inspection Inspect(const std::string& path);
  vhdx_inspect::Inspection Inspect(std::span<const std::byte> image, const std::string& name);

 private:
  class Turn;
  vhdx_inspect::Inspector inspector_{vhdx_inspect::ReadPolicy::kExaminedExtents, vhdx_inspect::Structure::kChecked};
  std::atomic<bool> busy_{false};
};

}  // namespace vhdx_python
