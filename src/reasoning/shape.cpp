#include "reasoning/shape.h"

#include "py/stack.h"

namespace tarmelix::reasoning {

KindMask scalar_kind_mask(const SchemaNode& node) {
  if (node.kind == NodeKind::Union || node.kind == NodeKind::Intersection ||
      node.kind == NodeKind::Complement)
    py::require_stack_room("simplifying a schema");
  switch (node.kind) {
    case NodeKind::Anything:
      return {false, KIND_ALL};
    case NodeKind::Nothing:
      return {false, 0};
    case NodeKind::NoneValue:
      return {false, KIND_NONE};
    case NodeKind::Bool:
      return {false, KIND_BOOL};
    case NodeKind::Int:
      return {false, KIND_BOOL | KIND_INT};
    case NodeKind::Float:
      return {false, KIND_FLOAT};
    case NodeKind::Str:
      return {false, KIND_STR};
    case NodeKind::Bytes:
      return {false, KIND_BYTES};
    case NodeKind::Union: {
      ScalarKindMask mask = 0;
      for (const SchemaNode& m : node.members) {
        KindMask k = scalar_kind_mask(m);
        if (k.inexact) return {true, 0};
        mask |= k.mask;
      }
      return {false, mask};
    }
    case NodeKind::Intersection: {
      ScalarKindMask mask = KIND_ALL;
      for (const SchemaNode& m : node.members) {
        KindMask k = scalar_kind_mask(m);
        if (k.inexact) return {true, 0};
        mask &= k.mask;
      }
      return {false, mask};
    }
    case NodeKind::Complement: {
      KindMask k = scalar_kind_mask(*node.child);
      if (k.inexact) return {true, 0};
      return {false, static_cast<ScalarKindMask>(KIND_ALL & ~k.mask)};
    }
    default:
      return {true, 0};
  }
}

ShapeKind shape_kind(const SchemaNode& node) {
  const SchemaNode* n = &node;
  while (n->kind == NodeKind::Constrained) n = n->child.get();
  switch (n->kind) {
    case NodeKind::NoneValue:
      return SHAPE_NONE;
    case NodeKind::Bool:
      return SHAPE_BOOL;
    case NodeKind::Int:
      return SHAPE_INT;
    case NodeKind::Float:
      return SHAPE_FLOAT;
    case NodeKind::Str:
      return SHAPE_STR;
    case NodeKind::Bytes:
      return SHAPE_BYTES;
    case NodeKind::Sequence:
      return n->sequence_kind == SequenceKind::List ? SHAPE_LIST : SHAPE_TUPLE;
    case NodeKind::Set:
      return SHAPE_SET;
    case NodeKind::FrozenSet:
      return SHAPE_FROZEN_SET;
    case NodeKind::Record:
      return SHAPE_RECORD;
    default:
      return SHAPE_UNKNOWN;
  }
}

bool known_disjoint(const SchemaNode& a, const SchemaNode& b) {
  if (a.kind == NodeKind::Nothing || b.kind == NodeKind::Nothing) return true;
  ShapeKind x = shape_kind(a), y = shape_kind(b);
  if (x == y || x == SHAPE_UNKNOWN || y == SHAPE_UNKNOWN) return false;
  if ((x == SHAPE_BOOL && y == SHAPE_INT) || (x == SHAPE_INT && y == SHAPE_BOOL)) return false;
  return true;
}

}  // namespace tarmelix::reasoning
