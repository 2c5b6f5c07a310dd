// The zero-filled buffers' backend of the reader tests, standing in for the
// system's: linked into the test program, it defines the two operations, so
// the linker takes the platform library's own backend from its archive no
// more (both defined twice would fail the link, not pass silently).
#include <cstddef>
#include <new>

#include "platform/zero_pages.h"
#include "refused_allocation.h"

namespace {

std::size_t refusedSize = 0;  // 0: none refused
std::size_t allocations = 0;  // the backend's allocations so far

}  // namespace

namespace platform::zero_pages {

std::byte* Allocate(std::size_t size) {
  ++allocations;
  if (size == 0 || size == refusedSize) return nullptr;
  return new (std::nothrow) std::byte[size]();
}

void Release(std::byte* pages, std::size_t) { delete[] pages; }

}  // namespace platform::zero_pages

namespace vhdx_test {

// Takes buffers of `size` until one comes from the backend rather than from
// those kept for the next owner: then none of that size is kept.
RefusedAllocation::RefusedAllocation(std::size_t size) {
  for (std::size_t before = allocations; allocations == before;) {
    held_.push_back(std::make_unique<platform::ZeroedBuffer>(size));
  }
  refusedSize = size;
}

RefusedAllocation::~RefusedAllocation() { refusedSize = 0; }

}  // namespace vhdx_test
