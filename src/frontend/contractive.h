// The guard rule of recursive schemas: a back edge must sit under a node
// that consumes one level of the value (list, tuple, set, frozenset, record,
// object) before the definition is entered again.
#pragma once

#include <cstdint>

#include "schema/node.h"

namespace tarmelix::frontend {

// True when DefinitionRef `definition` is reachable from `node` without
// passing a structural node. Other DefinitionRefs are not followed.
bool has_unguarded_reference(const SchemaNode& node, uint64_t definition, bool guarded);

}  // namespace tarmelix::frontend
