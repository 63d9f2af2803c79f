// Reasoning over Constraint lists: whether a list admits nothing, and whether
// one list implies another. Pooled bounds are compared through the leaf
// oracle only; an undecided comparison proves nothing.
#pragma once

#include <vector>

#include "reasoning/leaf_oracle.h"
#include "schema/node.h"

namespace tarmelix::reasoning {

// Whether one list admits no value; in integer mode two bounds with no
// integer between them also count.
bool constraints_unsatisfiable(const std::vector<Constraint>& constraints,
                               const LeafOracle& oracle, bool integer_mode);

// The same over the own lists of the Constrained members of an intersection.
bool intersection_bounds_unsatisfiable(const std::vector<SchemaNode>& members,
                                       const LeafOracle& oracle);

// Whether every entry of `t` is implied by a single entry of `s`.
bool constraints_imply(const std::vector<Constraint>& s, const std::vector<Constraint>& t,
                       const LeafOracle& oracle);

}  // namespace tarmelix::reasoning
