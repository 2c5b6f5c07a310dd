// Allocations through operator new that fail, as on a system out of memory.
//
// Test programs that add ${VHDX_REFUSING_NEW} (refusing_new.cpp) to their
// sources get its operator new in place of the standard library's. It hands
// out memory as the standard one does, except for the one allocation that a
// RefusedNew names, which raises std::bad_alloc.
#pragma once

#include <cstddef>

namespace testsupport {

// Whose allocations a RefusedNew counts.
enum class Counted {
  kThisThread,    // the thread that made the RefusedNew
  kOtherThreads,  // every other thread, together
};

// While it lives, the `nth` allocation (from 1) of at least `from` bytes that
// `counted` makes from now on fails. One at a time.
class RefusedNew {
 public:
  RefusedNew(Counted counted, long nth, std::size_t from = 0);
  ~RefusedNew();
  RefusedNew(const RefusedNew&) = delete;
  RefusedNew& operator=(const RefusedNew&) = delete;

  // Whether the allocation was refused: false when fewer were made.
  bool Refused() const;
};

}  // namespace testsupport
