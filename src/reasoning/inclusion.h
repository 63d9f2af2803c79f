// Inclusion: a sound, incomplete, coinductive test of S ⊆ T over two trees
// that share one constants pool and one definition table. True only when the
// inclusion is proven within the decision's work budget and depth cap.
#pragma once

#include <utility>
#include <vector>

#include "reasoning/budget.h"
#include "reasoning/leaf_oracle.h"
#include "schema/node.h"

namespace tarmelix::reasoning {

struct DecisionContext {
  const LeafOracle& oracle;
  const DefinitionTable& definitions;
  WorkBudget& budget;
};

// The pairs whose definition unfolding is under way, outermost first. The
// nodes outlive their entries (an entry is popped before the check that
// pushed it returns), so the stack borrows them instead of copying.
using SubtypeAssumptions = std::vector<std::pair<const SchemaNode*, const SchemaNode*>>;

bool check_subtype(const SchemaNode& s, const SchemaNode& t, const DecisionContext& context,
                   SubtypeAssumptions& assumptions);

bool pattern_subtype(const SequencePattern& p, const SequencePattern& q,
                     const DecisionContext& context, SubtypeAssumptions& assumptions);

bool record_subtype(const SchemaNode& s, const SchemaNode& t, const DecisionContext& context,
                    SubtypeAssumptions& assumptions);

bool object_subtype(const SchemaNode& s, const SchemaNode& t, const DecisionContext& context,
                    SubtypeAssumptions& assumptions);

// Whether S ⊆ complement(X): the intersection of S and X is proven empty.
bool subtype_of_complement(const SchemaNode& s, const SchemaNode& x,
                           const DecisionContext& context);

// One fresh budget for one direction; both directions of an equivalence
// share a single budget.
bool subtype_within(const SchemaNode& s, const SchemaNode& t, const LeafOracle& oracle,
                    const DefinitionTable& definitions, WorkBudget& budget);

}  // namespace tarmelix::reasoning
