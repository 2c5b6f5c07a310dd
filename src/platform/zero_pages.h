// What each backend provides to the zero-filled buffers: fresh pages from the
// system, all zero, and their release.
#pragma once

#include <cstddef>

namespace vhdx_inspect::detail::platform::zero_pages {

// `size` bytes of fresh, zero-filled, page-aligned memory; null for size 0
// or when the system refuses.
std::byte* Allocate(std::size_t size);

// Returns what Allocate gave.
void Release(std::byte* pages, std::size_t size);

}  // namespace vhdx_inspect::detail::platform::zero_pages
