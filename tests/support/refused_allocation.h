// Working buffers that cannot be allocated, as on a system out of memory.
//
// Test programs that link refusing_zero_pages.cpp get its backend of the
// zero-filled buffers in place of the system's. It hands out memory as the
// system's does, except for the size that a RefusedAllocation names.
#pragma once

#include <cstddef>

namespace testsupport {

// While it lives, no new zero-filled buffer of `size` bytes can be allocated.
class RefusedAllocation {
 public:
  explicit RefusedAllocation(std::size_t size);
  ~RefusedAllocation();
  RefusedAllocation(const RefusedAllocation&) = delete;
  RefusedAllocation& operator=(const RefusedAllocation&) = delete;
};

}  // namespace testsupport
