// A sequence pattern read as fixed items followed by an optional repeated
// tail, without allocating. The walks read it once per sequence they test,
// so it lives here, inline.
#pragma once

#include <cstddef>
#include <optional>

#include "schema/node.h"

namespace tarmelix::schema {

struct SequenceShape {
  const SequencePattern* concat = nullptr;  // fixed items are its leading parts
  const SchemaNode* single = nullptr;       // the one fixed item of an Item pattern
  size_t fixed = 0;
  const SchemaNode* tail = nullptr;

  const SchemaNode& item(size_t i) const { return single ? *single : *concat->parts[i].node; }
};

// Empty, Item, Repeat(Item) and Concat of Items ending in at most one
// Repeat(Item); every other shape is refused (nullopt). Pointers refer into
// the pattern.
inline std::optional<SequenceShape> read_sequence_shape(const SequencePattern& p) {
  SequenceShape shape;
  switch (p.kind) {
    case PatternKind::Empty:
      return shape;
    case PatternKind::Item:
      if (!p.node) return std::nullopt;
      shape.single = p.node.get();
      shape.fixed = 1;
      return shape;
    case PatternKind::Repeat:
      if (!p.body || p.body->kind != PatternKind::Item || !p.body->node) return std::nullopt;
      shape.tail = p.body->node.get();
      return shape;
    case PatternKind::Concat:
      shape.concat = &p;
      for (size_t i = 0; i < p.parts.size(); ++i) {
        const SequencePattern& part = p.parts[i];
        if (part.kind == PatternKind::Item && part.node) {
          ++shape.fixed;
        } else if (part.kind == PatternKind::Repeat && i + 1 == p.parts.size() && part.body &&
                   part.body->kind == PatternKind::Item && part.body->node) {
          shape.tail = part.body->node.get();
        } else {
          return std::nullopt;
        }
      }
      return shape;
    case PatternKind::Alternation:
      return std::nullopt;
  }
  return std::nullopt;
}

// The item schema of a list of any length of one item schema (list[X]), or
// null for any other node.
inline const SchemaNode* list_item_schema(const SchemaNode& node) {
  if (node.kind != NodeKind::Sequence || node.sequence_kind != SequenceKind::List || !node.pattern) {
    return nullptr;
  }
  std::optional<SequenceShape> shape = read_sequence_shape(*node.pattern);
  return shape && shape->fixed == 0 ? shape->tail : nullptr;
}

}  // namespace tarmelix::schema
