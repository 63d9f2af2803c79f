// Shorthands for building schema trees in the model tests.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "schema/node.h"

namespace tarmelix::testing {

inline SchemaNode leaf(NodeKind kind) { return make_leaf(kind); }
inline SchemaNode int_node() { return make_leaf(NodeKind::Int); }
inline SchemaNode str_node() { return make_leaf(NodeKind::Str); }

inline SequencePattern item(SchemaNode n) { return make_item_pattern(std::move(n)); }
inline SequencePattern repeat_item(SchemaNode n) { return make_repeat_pattern(item(std::move(n))); }

// list[t] / tuple[t, ...]
inline SchemaNode homogeneous(SequenceKind kind, SchemaNode t) {
  return make_sequence(kind, repeat_item(std::move(t)));
}
inline SchemaNode list_of(SchemaNode t) { return homogeneous(SequenceKind::List, std::move(t)); }

// tuple[a, b] or, with a tail, tuple[a, b, ...]-style prefix and tail.
inline SchemaNode tuple_of(std::vector<SchemaNode> items,
                           std::optional<SchemaNode> tail = std::nullopt) {
  std::vector<SequencePattern> parts;
  for (SchemaNode& n : items) parts.push_back(item(std::move(n)));
  if (tail) parts.push_back(repeat_item(std::move(*tail)));
  return make_sequence(SequenceKind::Tuple, make_concat_pattern(std::move(parts)));
}

inline RecordField field(std::string name, SchemaNode node, bool required = true) {
  return RecordField{std::move(name), std::move(node), required};
}

// dict[k, v]
inline SchemaNode dict_of(SchemaNode k, SchemaNode v) {
  std::vector<KeyValueClause> clauses;
  clauses.push_back(KeyValueClause{std::move(k), std::move(v)});
  return make_record({}, std::move(clauses));
}

inline SchemaNode constrained(SchemaNode base, std::vector<Constraint> cs) {
  return make_constrained(std::move(base), std::move(cs));
}
inline Constraint min_len(uint64_t n) { return Constraint::with_value(ConstraintKind::MinLen, n); }
inline Constraint max_len(uint64_t n) { return Constraint::with_value(ConstraintKind::MaxLen, n); }

// `depth` levels of Complement around Int: node_depth is depth + 1.
inline SchemaNode nested(uint64_t depth) {
  SchemaNode n = int_node();
  for (uint64_t i = 0; i < depth; ++i) n = make_complement(std::move(n));
  return n;
}

// A node of `count` nodes: a union of count - 1 Ints.
inline SchemaNode sized(uint64_t count) {
  return make_union(std::vector<SchemaNode>(count - 1, int_node()));
}

// Eight-byte little-endian encoding, as the hash input writes numbers.
inline std::string u64le(uint64_t v) {
  std::string out;
  for (int i = 0; i < 8; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
  return out;
}

}  // namespace tarmelix::testing
