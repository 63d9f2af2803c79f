// Decisions and rewrites over schemas. Decisions answer true only when the
// property is proven within the work budget; they raise nothing.
#pragma once

#include "schema/node.h"
#include "schema/pool.h"

namespace tarmelix {

bool decide_empty(const SchemaNode& root, const Constants& constants,
                  const DefinitionTable& definitions);
bool decide_subtype(const SchemaNode& s, const SchemaNode& t, const Constants& constants,
                    const DefinitionTable& definitions);
bool decide_equivalent(const SchemaNode& s, const SchemaNode& t, const Constants& constants,
                       const DefinitionTable& definitions);

SchemaNode simplify_node(const SchemaNode& node);
SchemaNode set_record_openness(const SchemaNode& node, bool open);

}  // namespace tarmelix
