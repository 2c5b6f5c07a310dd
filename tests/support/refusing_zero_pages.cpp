// The zero-filled buffers' backend of the inspection tests, standing in for
// the system's: linked into the test program, it defines the two operations,
// so the linker takes the library's own backend from its archive no more
// (both defined twice would fail the link, not pass silently).
#include <cstddef>
#include <new>

#include "platform/zero_pages.h"
#include "support/refused_allocation.h"

namespace {

std::size_t refusedSize = 0;  // 0: none refused

}  // namespace

namespace vhdx_inspect::detail::platform::zero_pages {

std::byte* Allocate(std::size_t size) {
  if (size == 0 || size == refusedSize) return nullptr;
  return new (std::nothrow) std::byte[size]();
}

void Release(std::byte* pages, std::size_t) { delete[] pages; }

}  // namespace vhdx_inspect::detail::platform::zero_pages

namespace testsupport {

RefusedAllocation::RefusedAllocation(std::size_t size) { refusedSize = size; }

RefusedAllocation::~RefusedAllocation() { refusedSize = 0; }

}  // namespace testsupport
