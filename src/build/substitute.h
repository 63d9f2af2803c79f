// Tying a recursive schema's knot: every placeholder variable of one
// `recursive` call becomes a back edge to the body's definition.
#pragma once

#include <cstdint>
#include <vector>

#include "schema/node.h"

namespace tarmelix {

// A copy of `node` in which each RecursionVariable `variable` is
// DefinitionRef `definition`; everything else is copied unchanged.
SchemaNode substitute_recursion_variable(const SchemaNode& node, uint64_t variable,
                                         uint64_t definition);
SequencePattern substitute_in_pattern(const SequencePattern& pattern, uint64_t variable,
                                      uint64_t definition);
std::vector<RecordField> substitute_in_fields(const std::vector<RecordField>& fields,
                                              uint64_t variable, uint64_t definition);
std::vector<SchemaNode> substitute_in_nodes(const std::vector<SchemaNode>& nodes,
                                            uint64_t variable, uint64_t definition);

}  // namespace tarmelix
