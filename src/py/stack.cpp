#include "py/stack.h"

#include <pthread.h>

#include <cstdint>

#include "py/ref.h"

namespace tarmelix::py {

namespace {

// The lowest usable address of this thread's stack, read once per thread;
// 0 when it cannot be read.
uintptr_t stack_low_bound() noexcept {
  thread_local uintptr_t low = [] {
    pthread_attr_t attr;
    if (pthread_getattr_np(pthread_self(), &attr) != 0) return uintptr_t{0};
    void* base = nullptr;
    size_t size = 0;
    uintptr_t bound = 0;
    if (pthread_attr_getstack(&attr, &base, &size) == 0) {
      bound = reinterpret_cast<uintptr_t>(base);
    }
    pthread_attr_destroy(&attr);
    return bound;
  }();
  return low;
}

}  // namespace

bool stack_has_room(size_t bytes) noexcept {
  const uintptr_t low = stack_low_bound();
  if (low == 0) return true;
  const uintptr_t here = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
  return here > low && here - low > bytes;
}

StackBound::StackBound(size_t reserve) noexcept {
  const uintptr_t low = stack_low_bound();
  limit_ = low == 0 ? 0 : low + reserve;
}

void set_stack_exhausted(const char* activity) noexcept {
  require_interpreter();
  PyErr_Format(PyExc_RecursionError,
               "maximum recursion depth exceeded while %s (native stack exhausted)", activity);
}

}  // namespace tarmelix::py
