#include "frontend/substitute.h"

#include "schema/map_tree.h"

namespace tarmelix::frontend {

SchemaNode substitute_recursion_variable(const SchemaNode& node, uint64_t variable,
                                         uint64_t definition) {
  return map_tree(node, [variable, definition](SchemaNode& n) {
    if (n.kind == NodeKind::RecursionVariable && n.index == variable) {
      n = make_definition_ref(definition);
    }
  });
}

}  // namespace tarmelix::frontend
