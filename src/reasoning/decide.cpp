#include "reasoning/decide.h"

#include "reasoning/emptiness.h"
#include "reasoning/inclusion.h"
#include "reasoning/openness.h"
#include "reasoning/simplify.h"

namespace tarmelix::reasoning {

bool decide_empty(const SchemaNode& root, const Constants& constants,
                  const DefinitionTable& definitions) {
  PoolOracle oracle(constants, definitions);
  WorkBudget budget;
  return analyse_fresh(root, oracle, definitions, budget).empty;
}

bool decide_subtype(const SchemaNode& s, const SchemaNode& t, const Constants& constants,
                    const DefinitionTable& definitions) {
  PoolOracle oracle(constants, definitions);
  WorkBudget budget;
  return subtype_within(s, t, oracle, definitions, budget);
}

bool decide_equivalent(const SchemaNode& s, const SchemaNode& t, const Constants& constants,
                       const DefinitionTable& definitions) {
  PoolOracle oracle(constants, definitions);
  // One budget: the second direction has only what the first one left.
  WorkBudget budget;
  return subtype_within(s, t, oracle, definitions, budget) &&
         subtype_within(t, s, oracle, definitions, budget);
}

}  // namespace tarmelix::reasoning
