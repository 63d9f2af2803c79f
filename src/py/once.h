// A once-cell for process-wide state. A thread that has to wait for another
// thread's initialiser waits detached from the interpreter, so the two cannot
// block each other on the interpreter lock and the cell. A failed attempt
// leaves the cell empty and the next caller tries again.
#pragma once

#include <atomic>
#include <mutex>
#include <optional>

#include "py/ref.h"

namespace tarmelix::py {

template <class T>
class OnceCell {
 public:
  // Returns the value, running `init` (which returns std::optional<T>, empty
  // with the indicator set on failure) when the cell is empty. The caller is
  // attached to the interpreter; null means this thread's attempt failed.
  template <class F>
  const T* get_or_init(F&& init) {
    if (filled_.load(std::memory_order_acquire)) return &*value_;
    PyThreadState* ts = PyEval_SaveThread();
    std::unique_lock lock(mutex_);
    PyEval_RestoreThread(ts);
    if (filled_.load(std::memory_order_acquire)) return &*value_;
    std::optional<T> made = init();
    if (!made) return nullptr;
    value_.emplace(std::move(*made));
    filled_.store(true, std::memory_order_release);
    return &*value_;
  }

  const T* get_if_filled() const noexcept {
    return filled_.load(std::memory_order_acquire) ? &*value_ : nullptr;
  }

 private:
  std::atomic<bool> filled_{false};
  std::mutex mutex_;
  std::optional<T> value_;
};

}  // namespace tarmelix::py
