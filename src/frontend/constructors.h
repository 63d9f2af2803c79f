// Node and sequence-pattern constructors shared by the frontend and the
// combinators. They take their nodes by move and cannot fail.
#pragma once

#include <vector>

#include "schema/node.h"

namespace tarmelix::frontend {

// Exactly the given items, in order; no items admits only the empty sequence.
SequencePattern build_fixed_pattern(std::vector<SchemaNode> items);
// Any number (zero included) of members of `item`.
SequencePattern build_repeat_pattern(SchemaNode item);
// The fixed prefix (at least one node), then any number of members of `tail`.
SequencePattern build_prefix_repeat_pattern(std::vector<SchemaNode> prefix, SchemaNode tail);

// A Union of the members in order; Nothing for no members.
SchemaNode build_union(std::vector<SchemaNode> members);
// dict[K, V]: no fields, one clause.
SchemaNode build_dict_record(SchemaNode key, SchemaNode value);

}  // namespace tarmelix::frontend
