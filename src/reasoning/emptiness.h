// Emptiness: a budgeted, recursive analysis that proves a schema admits no
// value where it can. `empty` true is always a proof; false may only mean no
// proof was found (budget or depth exhausted, undecided leaf questions).
#pragma once

#include <vector>

#include "reasoning/budget.h"
#include "reasoning/leaf_oracle.h"
#include "reasoning/shape.h"
#include "schema/node.h"

namespace tarmelix::reasoning {

// When `inexact` is clear the node's set is exactly the union of the value
// classes in `kinds`; when set, `kinds` means nothing.
struct Inhabitation {
  bool empty = false;
  bool inexact = true;
  ScalarKindMask kinds = 0;
};

// Definition indices being unfolded by one analysis.
using DefinitionStack = std::vector<uint64_t>;

Inhabitation analyse_inhabitation(const SchemaNode& node, const LeafOracle& oracle,
                                  const DefinitionTable& definitions, DefinitionStack& stack,
                                  WorkBudget& budget);

// Whether a sequence pattern admits no sequence.
bool pattern_is_empty(const SequencePattern& pattern, const LeafOracle& oracle,
                      const DefinitionTable& definitions, DefinitionStack& stack,
                      WorkBudget& budget);

// One analysis of `node` with a fresh definition stack, on the given budget.
Inhabitation analyse_fresh(const SchemaNode& node, const LeafOracle& oracle,
                           const DefinitionTable& definitions, WorkBudget& budget);

}  // namespace tarmelix::reasoning
