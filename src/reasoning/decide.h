// Decisions and rewrites over schemas. Decisions answer true only when the
// property is proven within the work budget; they raise nothing.
#pragma once

#include "reasoning/openness.h"
#include "reasoning/simplify.h"
#include "schema/node.h"
#include "schema/pool.h"

namespace tarmelix::reasoning {

bool decide_empty(const SchemaNode& root, const Constants& constants,
                  const DefinitionTable& definitions);
bool decide_subtype(const SchemaNode& s, const SchemaNode& t, const Constants& constants,
                    const DefinitionTable& definitions);
bool decide_equivalent(const SchemaNode& s, const SchemaNode& t, const Constants& constants,
                       const DefinitionTable& definitions);

// simplify_node (reasoning/simplify.h) and set_record_openness
// (reasoning/openness.h) are the two rewrites.

}  // namespace tarmelix::reasoning

// This unit's interface, used unqualified from the other folders.
namespace tarmelix {
using reasoning::decide_empty;
using reasoning::decide_subtype;
using reasoning::decide_equivalent;
}  // namespace tarmelix
