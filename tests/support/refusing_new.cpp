// The operator new of the test programs that refuse an allocation on demand
// (refused_new.h): linked into the program, it replaces the standard
// library's. The nothrow and array forms of the standard library call it.
#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <new>

#include "support/refused_new.h"

namespace {

// Counted down by the thread that made the RefusedNew, while above zero.
long thisThreadLeft = 0;
thread_local bool countedThread = false;
// Counted down by the other threads together, while above zero.
std::atomic<long> otherThreadsLeft{0};
std::atomic<std::size_t> countedFrom{0};  // the smallest size counted
std::atomic<bool> refused{false};

bool RefuseThisOne(std::size_t size) {
  if (size < countedFrom.load()) return false;
  if (countedThread) return thisThreadLeft > 0 && --thisThreadLeft == 0;
  long left = otherThreadsLeft.load();
  while (left > 0) {
    if (otherThreadsLeft.compare_exchange_weak(left, left - 1)) return left == 1;
  }
  return false;
}

void* Allocate(std::size_t size) {
  if (RefuseThisOne(size)) {
    refused.store(true);
    throw std::bad_alloc();
  }
  if (void* memory = std::malloc(size == 0 ? 1 : size)) return memory;
  throw std::bad_alloc();
}

}  // namespace

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete[](void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t) noexcept { std::free(memory); }

namespace testsupport {

RefusedNew::RefusedNew(Counted counted, long nth, std::size_t from) {
  refused.store(false);
  countedFrom.store(from);
  if (counted == Counted::kThisThread) {
    countedThread = true;
    thisThreadLeft = nth;
  } else {
    otherThreadsLeft.store(nth);
  }
}

RefusedNew::~RefusedNew() {
  countedThread = false;
  thisThreadLeft = 0;
  otherThreadsLeft.store(0);
  countedFrom.store(0);
}

bool RefusedNew::Refused() const { return refused.load(); }

}  // namespace testsupport
