#include "frontend/embed.h"

#include "schema/map_tree.h"

namespace tarmelix::frontend {

namespace {

uint64_t pool_index(uint64_t index, const IndexRemap& remap) {
  return index < remap.pool_indices.size() ? remap.pool_indices[index] : index;
}

bool holds_pool_index(ConstraintKind kind) {
  switch (kind) {
    case ConstraintKind::Ge:
    case ConstraintKind::Gt:
    case ConstraintKind::Le:
    case ConstraintKind::Lt:
    case ConstraintKind::MultipleOf:
    case ConstraintKind::Predicate:
      return true;
    case ConstraintKind::MinLen:
    case ConstraintKind::MaxLen:
    case ConstraintKind::Regex:
      return false;
  }
  return false;
}

}  // namespace

SchemaNode remap_node(const SchemaNode& node, const IndexRemap& remap) {
  return map_tree(node, [&remap](SchemaNode& n) {
    switch (n.kind) {
      case NodeKind::Literal:
      case NodeKind::Instance:
      case NodeKind::Object:
        n.index = pool_index(n.index, remap);
        break;
      case NodeKind::Constrained:
        for (Constraint& c : n.constraints) {
          if (holds_pool_index(c.kind)) c.value = pool_index(c.value, remap);
        }
        break;
      case NodeKind::DefinitionRef:
        n.index += remap.definition_offset;
        break;
      default:
        break;
    }
  });
}

SchemaNode embed_validator(const ValidatorCore& core, ConstantsPool& pool,
                           DefinitionTable& definitions) {
  IndexRemap remap;
  remap.pool_indices = intern_constants(pool, core.constants);
  remap.definition_offset = definitions.size();
  definitions.reserve(definitions.size() + core.definitions.size());
  for (const SchemaNode& d : core.definitions) definitions.push_back(remap_node(d, remap));
  return remap_node(core.root, remap);
}

}  // namespace tarmelix::frontend
