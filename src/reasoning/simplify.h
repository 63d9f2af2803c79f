// Simplification: a structural rewrite into an equivalent tree in
// negation-normal form, with flat, sorted, duplicate-free unions and
// intersections and merged refinements. Never calls into Python; throws
// py::StackExhausted when the native stack runs short.
#pragma once

#include <vector>

#include "schema/node.h"

namespace tarmelix::reasoning {

SchemaNode simplify_node(const SchemaNode& node);
SequencePattern simplify_pattern(const SequencePattern& pattern);

// Members already simplified; the result is one node.
SchemaNode normalize_union(std::vector<SchemaNode> members);
SchemaNode normalize_intersection(std::vector<SchemaNode> members);

// The complement of an already simplified node, in negation-normal form.
SchemaNode negate_node(SchemaNode node);

}  // namespace tarmelix::reasoning

// This unit's interface, used unqualified from the other folders.
namespace tarmelix {
using reasoning::simplify_node;
}  // namespace tarmelix
