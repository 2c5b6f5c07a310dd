// POSIX backend of the zero-filled buffers: anonymous pages. They come
// page-aligned, which is where the kernel copies file data into a buffer at
// its best speed (16 bytes past a page boundary, where malloc places a large
// block, about a fifth slower on some processors).
#include <sys/mman.h>

#include "platform/zero_pages.h"

namespace vhdx_inspect::detail::platform::zero_pages {

std::byte* Allocate(std::size_t size) {
  if (size == 0) return nullptr;
  void* pages = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  return pages == MAP_FAILED ? nullptr : static_cast<std::byte*>(pages);
}

void Release(std::byte* pages, std::size_t size) { ::munmap(pages, size); }

}  // namespace vhdx_inspect::detail::platform::zero_pages
