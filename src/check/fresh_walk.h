// One walk from an entry point: a fresh state (whose steps check the native
// stack), and the fatal exception the walk kept put back into the indicator.
#pragma once

#include <optional>

#include "check/walk_context.h"
#include "py/error.h"

namespace tarmelix::check {

// `walk(ctx)` runs the walk and answers membership. Empty with the kept fatal
// exception (RecursionError when a step found the stack short) set.
template <class Walk>
std::optional<bool> run_fresh_walk(const Constants& constants, const DefinitionTable& definitions,
                                   const WalkPlan* plan, WalkMode mode, Walk&& walk) {
  WalkState state;
  const WalkContext ctx{&constants, &definitions, plan, &state, mode};
  const bool member = walk(ctx);
  if (state.fatal_error.exception) {
    py::restore_exception(std::move(state.fatal_error.exception));
    return std::nullopt;
  }
  return member;
}

}  // namespace tarmelix::check
