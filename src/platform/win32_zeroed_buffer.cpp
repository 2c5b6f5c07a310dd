// Win32 backend of the zero-filled buffers: committed pages from VirtualAlloc.
#include <windows.h>

#include "platform/zero_pages.h"

namespace vhdx_inspect::detail::platform::zero_pages {

std::byte* Allocate(std::size_t size) {
  return static_cast<std::byte*>(::VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
}

void Release(std::byte* pages, std::size_t) { ::VirtualFree(pages, 0, MEM_RELEASE); }

}  // namespace vhdx_inspect::detail::platform::zero_pages
