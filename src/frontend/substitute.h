// Tying a recursive schema's knot: every placeholder variable of one
// `recursive` call becomes a back edge to the body's definition.
#pragma once

#include <cstdint>

#include "schema/node.h"

namespace tarmelix::frontend {

// A copy of `node` in which each RecursionVariable `variable` is
// DefinitionRef `definition`; everything else is copied unchanged.
SchemaNode substitute_recursion_variable(const SchemaNode& node, uint64_t variable,
                                         uint64_t definition);

}  // namespace tarmelix::frontend
