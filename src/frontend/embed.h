// Embedding a finished validator into a schema being built: its constants are
// interned into the current pool, its definitions appended with their indices
// shifted, and its nodes renumbered to match.
#pragma once

#include <cstdint>
#include <vector>

#include "schema/core.h"
#include "schema/node.h"
#include "schema/pool.h"

namespace tarmelix::frontend {

struct IndexRemap {
  std::vector<uint64_t> pool_indices;  // embedded constant i -> current index
  uint64_t definition_offset = 0;      // definitions held before the embedded ones
};

// A copy renumbered for the current pool and table. A pool index the remap
// does not cover is kept as it is.
SchemaNode remap_node(const SchemaNode& node, const IndexRemap& remap);

// The embedded copy of the validator's root; its constants and definitions
// are added to `pool` and `definitions`. Cannot fail.
SchemaNode embed_validator(const ValidatorCore& core, ConstantsPool& pool,
                           DefinitionTable& definitions);

}  // namespace tarmelix::frontend
