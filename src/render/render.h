// Annotation text of schemas and previews of Python values.
#pragma once

#include <string>

#include "render/preview.h"
#include "render/quote.h"
#include "render/utf8_text.h"
#include "schema/node.h"
#include "schema/pool.h"

namespace tarmelix::render {

// Deepest depth (root = 0) at which a node is still written out; deeper
// nodes read "...".
inline constexpr unsigned RENDER_DEPTH_LIMIT = 200;

// The annotation text of a schema (the repr of a Validator). Exceptions of
// repr and __name__ of pooled objects are discarded; it throws
// py::StackExhausted only when the native stack runs short. Recursive
// definitions are written inline, a reference inside its own expansion as "...".
std::string render_node(const SchemaNode& node, const Constants& constants,
                        const DefinitionTable& definitions);

}  // namespace tarmelix::render

// This unit's interface, used unqualified from the other folders.
namespace tarmelix {
using render::render_node;
}  // namespace tarmelix
