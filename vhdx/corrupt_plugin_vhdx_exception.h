#pragma once

#include <stdexcept>

namespace vhdx {

// Raised after a failed check of the container has written the one line that
// names the cause; the exception itself never carries the cause.
class CorruptPluginVhdxException : public std::runtime_error {
 public:
  CorruptPluginVhdxException() : std::runtime_error("plugin VHDX is corrupt") {}
};

}  // namespace vhdx
