#include "reasoning/decide.h"

#include "py/stack.h"
#include "reasoning/emptiness.h"
#include "reasoning/inclusion.h"
#include "reasoning/openness.h"
#include "reasoning/simplify.h"

namespace tarmelix::reasoning {

namespace {

// The procedures answer unproven at a short stack themselves; a tree
// operation they call (equality, order) throws instead, and that is unproven
// too.
template <class Decide>
bool unproven_on_short_stack(Decide decide) {
  try {
    return decide();
  } catch (const py::StackExhausted&) {
    return false;
  }
}

}  // namespace

bool decide_empty(const SchemaNode& root, const Constants& constants,
                  const DefinitionTable& definitions) {
  PoolOracle oracle(constants, definitions);
  WorkBudget budget;
  return unproven_on_short_stack(
      [&] { return analyse_fresh(root, oracle, definitions, budget).empty; });
}

bool decide_subtype(const SchemaNode& s, const SchemaNode& t, const Constants& constants,
                    const DefinitionTable& definitions) {
  PoolOracle oracle(constants, definitions);
  WorkBudget budget;
  return unproven_on_short_stack([&] { return subtype_within(s, t, oracle, definitions, budget); });
}

bool decide_equivalent(const SchemaNode& s, const SchemaNode& t, const Constants& constants,
                       const DefinitionTable& definitions) {
  PoolOracle oracle(constants, definitions);
  // One budget: the second direction has only what the first one left.
  WorkBudget budget;
  return unproven_on_short_stack([&] {
    return subtype_within(s, t, oracle, definitions, budget) &&
           subtype_within(t, s, oracle, definitions, budget);
  });
}

}  // namespace tarmelix::reasoning
