// A preload for the test of threads that cannot be started: pthread_create
// starts as many threads as VHDX_THREADS_ALLOWED says, then fails with
// EAGAIN, as when a process reaches its limit of threads.
#include <dlfcn.h>
#include <pthread.h>

#include <cerrno>
#include <cstdlib>

namespace {

using Create = int (*)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);

int started = 0;  // only the thread that starts the others calls it

}  // namespace

extern "C" int pthread_create(pthread_t* thread, const pthread_attr_t* attributes, void* (*run)(void*),
                              void* argument) {
  static const auto real = reinterpret_cast<Create>(::dlsym(RTLD_NEXT, "pthread_create"));
  const char* allowed = std::getenv("VHDX_THREADS_ALLOWED");
  if (real == nullptr || (allowed != nullptr && started >= std::atoi(allowed))) return EAGAIN;
  ++started;
  return real(thread, attributes, run, argument);
}
