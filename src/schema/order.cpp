#include "schema/order.h"

#include <cstring>

#include "py/stack.h"

namespace tarmelix::schema {

namespace {

template <class T, class Same>
bool same_list(const std::vector<T>& a, const std::vector<T>& b, Same same) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (!same(a[i], b[i])) return false;
  return true;
}

bool same_fields(const std::vector<RecordField>& a, const std::vector<RecordField>& b) {
  return same_list(a, b, [](const RecordField& x, const RecordField& y) {
    return x.name == y.name && x.required == y.required && same_node(x.node, y.node);
  });
}

// Only nodes that hold children recurse; leaves skip the stack check.
bool recurses(NodeKind kind) { return kind >= NodeKind::Sequence && kind <= NodeKind::Constrained; }

int cmp_u64(uint64_t a, uint64_t b) { return a < b ? -1 : (a > b ? 1 : 0); }

int cmp_text(const std::string& a, const std::string& b) {
  size_t n = a.size() < b.size() ? a.size() : b.size();
  int c = n ? std::memcmp(a.data(), b.data(), n) : 0;
  if (c) return c < 0 ? -1 : 1;
  return cmp_u64(a.size(), b.size());
}

template <class T, class Cmp>
int compare_list(const std::vector<T>& a, const std::vector<T>& b, Cmp cmp) {
  size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i)
    if (int c = cmp(a[i], b[i])) return c;
  return cmp_u64(a.size(), b.size());
}

int compare_fields(const std::vector<RecordField>& a, const std::vector<RecordField>& b) {
  return compare_list(a, b, [](const RecordField& x, const RecordField& y) {
    if (int c = cmp_text(x.name, y.name)) return c;
    if (int c = compare_nodes(x.node, y.node)) return c;
    return cmp_u64(x.required, y.required);
  });
}

void hash_text(const std::string& text, HashSink& sink) {
  sink.append(text);
  sink.push_back(static_cast<char>(0xFF));
}

void hash_fields(const std::vector<RecordField>& fields, HashSink& sink) {
  hash_u64(fields.size(), sink);
  for (const RecordField& f : fields) {
    hash_text(f.name, sink);
    hash_node(f.node, sink);
    sink.push_back(f.required ? 1 : 0);
  }
}

}  // namespace

bool same_constraint(const Constraint& a, const Constraint& b) {
  if (a.kind != b.kind) return false;
  if (a.kind == ConstraintKind::Regex) return a.pattern == b.pattern;
  return a.value == b.value;
}

bool same_constraints(const std::vector<Constraint>& a, const std::vector<Constraint>& b) {
  return same_list(a, b, same_constraint);
}

bool same_pattern(const SequencePattern& p, const SequencePattern& q) {
  if (p.kind != q.kind) return false;
  py::require_stack_room("comparing schemas");
  switch (p.kind) {
    case PatternKind::Empty:
      return true;
    case PatternKind::Item:
      return same_node(*p.node, *q.node);
    case PatternKind::Concat:
    case PatternKind::Alternation:
      return same_list(p.parts, q.parts, same_pattern);
    case PatternKind::Repeat:
      return same_pattern(*p.body, *q.body);
  }
  return false;
}

bool same_node(const SchemaNode& a, const SchemaNode& b) {
  if (a.kind != b.kind) return false;
  if (recurses(a.kind)) py::require_stack_room("comparing schemas");
  switch (a.kind) {
    case NodeKind::Literal:
    case NodeKind::Instance:
    case NodeKind::DefinitionRef:
    case NodeKind::RecursionVariable:
      return a.index == b.index;
    case NodeKind::Sequence:
      return a.sequence_kind == b.sequence_kind && same_pattern(*a.pattern, *b.pattern);
    case NodeKind::Set:
    case NodeKind::FrozenSet:
    case NodeKind::Complement:
      return same_node(*a.child, *b.child);
    case NodeKind::Record:
      return same_fields(a.fields, b.fields) &&
             same_list(a.clauses, b.clauses, [](const KeyValueClause& x, const KeyValueClause& y) {
               return same_node(x.key, y.key) && same_node(x.value, y.value);
             });
    case NodeKind::Union:
    case NodeKind::Intersection:
      return same_list(a.members, b.members, same_node);
    case NodeKind::Object:
      return a.index == b.index && same_fields(a.fields, b.fields);
    case NodeKind::Constrained:
      return same_node(*a.child, *b.child) && same_constraints(a.constraints, b.constraints);
    default:
      return true;
  }
}

int compare_constraints(const Constraint& c, const Constraint& d) {
  if (c.kind != d.kind) return c.kind < d.kind ? -1 : 1;
  if (c.kind == ConstraintKind::Regex) return cmp_text(c.pattern, d.pattern);
  return cmp_u64(c.value, d.value);
}

int compare_patterns(const SequencePattern& p, const SequencePattern& q) {
  if (p.kind != q.kind) return p.kind < q.kind ? -1 : 1;
  py::require_stack_room("ordering schemas");
  switch (p.kind) {
    case PatternKind::Empty:
      return 0;
    case PatternKind::Item:
      return compare_nodes(*p.node, *q.node);
    case PatternKind::Concat:
    case PatternKind::Alternation:
      return compare_list(p.parts, q.parts, compare_patterns);
    case PatternKind::Repeat:
      return compare_patterns(*p.body, *q.body);
  }
  return 0;
}

int compare_nodes(const SchemaNode& a, const SchemaNode& b) {
  if (a.kind != b.kind) return a.kind < b.kind ? -1 : 1;
  if (recurses(a.kind)) py::require_stack_room("ordering schemas");
  switch (a.kind) {
    case NodeKind::Literal:
    case NodeKind::Instance:
    case NodeKind::DefinitionRef:
    case NodeKind::RecursionVariable:
      return cmp_u64(a.index, b.index);
    case NodeKind::Sequence:
      if (a.sequence_kind != b.sequence_kind) return a.sequence_kind < b.sequence_kind ? -1 : 1;
      return compare_patterns(*a.pattern, *b.pattern);
    case NodeKind::Set:
    case NodeKind::FrozenSet:
    case NodeKind::Complement:
      return compare_nodes(*a.child, *b.child);
    case NodeKind::Record:
      if (int c = compare_fields(a.fields, b.fields)) return c;
      return compare_list(a.clauses, b.clauses, [](const KeyValueClause& x, const KeyValueClause& y) {
        if (int c = compare_nodes(x.key, y.key)) return c;
        return compare_nodes(x.value, y.value);
      });
    case NodeKind::Union:
    case NodeKind::Intersection:
      return compare_list(a.members, b.members, compare_nodes);
    case NodeKind::Object:
      if (int c = cmp_u64(a.index, b.index)) return c;
      return compare_fields(a.fields, b.fields);
    case NodeKind::Constrained:
      if (int c = compare_nodes(*a.child, *b.child)) return c;
      return compare_list(a.constraints, b.constraints, compare_constraints);
    default:
      return 0;
  }
}

void hash_u64(uint64_t value, HashSink& sink) {
  char bytes[8];
  for (int i = 0; i < 8; ++i) bytes[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
  sink.append(bytes, 8);
}

void hash_pattern(const SequencePattern& pattern, HashSink& sink) {
  py::require_stack_room("hashing a schema");
  hash_u64(static_cast<uint64_t>(pattern.kind), sink);
  switch (pattern.kind) {
    case PatternKind::Empty:
      break;
    case PatternKind::Item:
      hash_node(*pattern.node, sink);
      break;
    case PatternKind::Concat:
    case PatternKind::Alternation:
      hash_u64(pattern.parts.size(), sink);
      for (const SequencePattern& part : pattern.parts) hash_pattern(part, sink);
      break;
    case PatternKind::Repeat:
      hash_pattern(*pattern.body, sink);
      break;
  }
}

void hash_node(const SchemaNode& node, HashSink& sink) {
  if (recurses(node.kind)) py::require_stack_room("hashing a schema");
  hash_u64(static_cast<uint64_t>(node.kind), sink);
  switch (node.kind) {
    case NodeKind::Literal:
    case NodeKind::Instance:
    case NodeKind::DefinitionRef:
    case NodeKind::RecursionVariable:
      hash_u64(node.index, sink);
      break;
    case NodeKind::Sequence:
      hash_u64(static_cast<uint64_t>(node.sequence_kind), sink);
      hash_pattern(*node.pattern, sink);
      break;
    case NodeKind::Set:
    case NodeKind::FrozenSet:
    case NodeKind::Complement:
      hash_node(*node.child, sink);
      break;
    case NodeKind::Record:
      hash_fields(node.fields, sink);
      hash_u64(node.clauses.size(), sink);
      for (const KeyValueClause& c : node.clauses) {
        hash_node(c.key, sink);
        hash_node(c.value, sink);
      }
      break;
    case NodeKind::Union:
    case NodeKind::Intersection:
      hash_u64(node.members.size(), sink);
      for (const SchemaNode& m : node.members) hash_node(m, sink);
      break;
    case NodeKind::Object:
      hash_u64(node.index, sink);
      hash_fields(node.fields, sink);
      break;
    case NodeKind::Constrained:
      hash_node(*node.child, sink);
      hash_u64(node.constraints.size(), sink);
      for (const Constraint& c : node.constraints) {
        hash_u64(static_cast<uint64_t>(c.kind), sink);
        if (c.kind == ConstraintKind::Regex) {
          hash_text(c.pattern, sink);
        } else {
          hash_u64(c.value, sink);
        }
      }
      break;
    default:
      break;
  }
}

}  // namespace tarmelix::schema
