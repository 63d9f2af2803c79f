// The frontend's per-thread nesting counter. Each build_schema call holds one
// DepthGuard; whatever way the call ends (return, failure, internal fault),
// the counter falls back to its value from before the call.
#pragma once

#include <cstdint>

namespace tarmelix::frontend {

inline constexpr uint64_t FRONTEND_DEPTH_LIMIT = 128;

class DepthGuard {
 public:
  // Enters one level; `entered()` is false when that would pass the limit, in
  // which case the counter is left untouched.
  DepthGuard() noexcept {
    if (depth() >= FRONTEND_DEPTH_LIMIT) return;
    ++depth();
    entered_ = true;
  }
  ~DepthGuard() {
    if (entered_) --depth();
  }
  DepthGuard(const DepthGuard&) = delete;
  DepthGuard& operator=(const DepthGuard&) = delete;

  bool entered() const noexcept { return entered_; }

 private:
  static uint64_t& depth() noexcept {
    thread_local uint64_t counter = 0;
    return counter;
  }
  bool entered_ = false;
};

}  // namespace tarmelix::frontend
