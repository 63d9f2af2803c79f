// Letting other threads run Python while this one does native work only.
#pragma once

#include "py/ref.h"

namespace tarmelix::py {

// Releases the interpreter lock for its lifetime (when `release` is true),
// or until reattach(). Between the two, nothing may touch a Python object,
// a reference count or the Python allocator.
class Detached {
 public:
  explicit Detached(bool release) {
    require_interpreter();
    if (release) state_ = PyEval_SaveThread();
  }
  ~Detached() { reattach(); }
  Detached(const Detached&) = delete;
  Detached& operator=(const Detached&) = delete;

  void reattach() noexcept {
    if (state_) PyEval_RestoreThread(state_);
    state_ = nullptr;
  }
  bool detached() const { return state_ != nullptr; }

 private:
  PyThreadState* state_ = nullptr;
};

}  // namespace tarmelix::py
