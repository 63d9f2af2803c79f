#include "reasoning/openness.h"

#include "schema/map_tree.h"

namespace tarmelix::reasoning {

SchemaNode set_record_openness(const SchemaNode& node, bool open) {
  // A DefinitionRef's definition is rewritten by the caller.
  return map_tree(node, [open](SchemaNode& n) {
    if (n.kind != NodeKind::Record || n.fields.empty()) return;
    n.clauses.clear();
    if (open) n.clauses.push_back({make_leaf(NodeKind::Anything), make_leaf(NodeKind::Anything)});
  });
}

}  // namespace tarmelix::reasoning
