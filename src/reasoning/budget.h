// The work budget of one decision: a step counter shared by every emptiness
// analysis and inclusion iteration of the call, and the native recursion
// depth of those procedures, capped so that no schema pair can exhaust the
// thread's stack. Past either limit, or when the native stack itself runs
// short (a small thread stack), a question answers unproven.
#pragma once

#include <cstdint>

#include "py/stack.h"

namespace tarmelix::reasoning {

inline constexpr uint32_t WORK_BUDGET_STEPS = 1'000'000;

// Native frames of analyse_inhabitation and check_subtype together. A level
// costs well under a kilobyte of stack, so this stays far inside even a small
// secondary-thread stack, while legitimate schemas (depth 128) never reach it.
inline constexpr uint32_t MAX_NATIVE_DEPTH = 1000;

struct WorkBudget {
  uint32_t steps = WORK_BUDGET_STEPS;
  uint32_t depth = 0;

  // Spends one step; false when none was left.
  bool spend() {
    if (steps == 0) return false;
    --steps;
    return true;
  }
};

// Holds one level of native depth for its scope; `entered` is false when the
// cap is reached or the stack is short, and the caller must then answer
// unproven.
class DepthGuard {
 public:
  explicit DepthGuard(WorkBudget& budget)
      : budget_(budget),
        entered_(budget.depth < MAX_NATIVE_DEPTH && py::stack_has_room(py::STEP_STACK_RESERVE)) {
    if (entered_) ++budget_.depth;
  }
  ~DepthGuard() {
    if (entered_) --budget_.depth;
  }
  DepthGuard(const DepthGuard&) = delete;
  DepthGuard& operator=(const DepthGuard&) = delete;
  bool entered() const { return entered_; }

 private:
  WorkBudget& budget_;
  bool entered_;
};

}  // namespace tarmelix::reasoning
