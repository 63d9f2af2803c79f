#include "frontend/contractive.h"

#include "py/stack.h"
#include "schema/measure.h"

namespace tarmelix::frontend {

namespace {

bool is_structural(NodeKind kind) {
  switch (kind) {
    case NodeKind::Sequence:
    case NodeKind::Set:
    case NodeKind::FrozenSet:
    case NodeKind::Record:
    case NodeKind::Object:
      return true;
    default:
      return false;
  }
}

}  // namespace

bool has_unguarded_reference(const SchemaNode& node, uint64_t definition, bool guarded) {
  py::require_stack_room("compiling a schema");
  if (node.kind == NodeKind::DefinitionRef) return node.index == definition && !guarded;
  const bool child_guarded = guarded || is_structural(node.kind);
  NodeChildren children = node_children(node);
  while (const SchemaNode* child = children.next())
    if (has_unguarded_reference(*child, definition, child_guarded)) return true;
  return false;
}

}  // namespace tarmelix::frontend
