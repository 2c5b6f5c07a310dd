// Working buffers that cannot be allocated, as on a system out of memory.
//
// The reader tests link their own backend of the zero-filled buffers
// (refusing_zero_pages.cpp) in place of the system's. It hands out memory as
// the system's does, except for the size that a RefusedAllocation names.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "platform/zeroed_buffer.h"

namespace vhdx_test {

// While it lives, no new zero-filled buffer of `size` bytes can be
// allocated: the released buffers of that size that are kept for the next
// owner are taken out of reach first (this object holds them), and the
// backend then refuses the size.
class RefusedAllocation {
 public:
  explicit RefusedAllocation(std::size_t size);
  ~RefusedAllocation();
  RefusedAllocation(const RefusedAllocation&) = delete;
  RefusedAllocation& operator=(const RefusedAllocation&) = delete;

 private:
  std::vector<std::unique_ptr<platform::ZeroedBuffer>> held_;
};

}  // namespace vhdx_test
