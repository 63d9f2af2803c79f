#include <unordered_set>

#include "py/stack.h"
#include "render/render.h"
#include "schema/fxhash.h"

namespace tarmelix::render {

namespace {

// Definitions being written out at this moment, so a reference inside its
// own expansion reads "..." instead of recursing forever.
using RenderCycleGuard = std::unordered_set<uint64_t, FxHasher>;

struct RenderContext {
  const Constants& constants;
  const DefinitionTable& definitions;
  RenderCycleGuard guard;
  std::string out;
};

void render_at(const SchemaNode& node, RenderContext& cx, unsigned depth);

void render_constant(RenderContext& cx, uint64_t index) {
  if (index >= cx.constants.size()) {
    cx.out += "<unknown>";
    return;
  }
  cx.out += preview_repr(cx.constants[index].get());
}

void render_class(RenderContext& cx, uint64_t index) {
  if (index >= cx.constants.size()) {
    cx.out += "<unknown>";
    return;
  }
  cx.out += render_class_name(cx.constants[index].get());
}

void render_nodes(const std::vector<SchemaNode>& nodes, const char* separator, RenderContext& cx,
                  unsigned depth) {
  for (size_t i = 0; i < nodes.size(); ++i) {
    if (i) cx.out += separator;
    render_at(nodes[i], cx, depth + 1);
  }
}

void render_sequence(const SchemaNode& node, RenderContext& cx, unsigned depth) {
  const std::optional<FlatPattern> flat = flatten_pattern(*node.pattern);
  if (!flat) {
    cx.out += "<sequence>";
    return;
  }
  const bool is_list = node.sequence_kind == SequenceKind::List;
  if (flat->items.empty() && flat->tail) {
    cx.out += is_list ? "list[" : "tuple[";
    render_at(*flat->tail, cx, depth + 1);
    cx.out += is_list ? "]" : ", ...]";
    return;
  }
  cx.out += is_list ? "[" : "tuple[";
  for (size_t i = 0; i < flat->items.size(); ++i) {
    if (i) cx.out += ", ";
    render_at(*flat->items[i], cx, depth + 1);
  }
  if (flat->tail) {
    cx.out += ", ";
    render_at(*flat->tail, cx, depth + 1);
    cx.out += ", ...";
  }
  cx.out += ']';
}

void render_record(const SchemaNode& node, RenderContext& cx, unsigned depth) {
  if (node.fields.empty() && node.clauses.size() == 1) {
    cx.out += "dict[";
    render_at(node.clauses[0].key, cx, depth + 1);
    cx.out += ", ";
    render_at(node.clauses[0].value, cx, depth + 1);
    cx.out += ']';
    return;
  }
  cx.out += '{';
  bool first = true;
  for (const RecordField& field : node.fields) {
    if (!first) cx.out += ", ";
    first = false;
    cx.out += '\'';
    cx.out += field.name;
    if (!field.required) cx.out += '?';
    cx.out += "': ";
    render_at(field.node, cx, depth + 1);
  }
  for (const KeyValueClause& clause : node.clauses) {
    if (!first) cx.out += ", ";
    first = false;
    if (clause.key.kind == NodeKind::Anything && clause.value.kind == NodeKind::Anything) {
      cx.out += "...";
      continue;
    }
    render_at(clause.key, cx, depth + 1);
    cx.out += ": ";
    render_at(clause.value, cx, depth + 1);
  }
  cx.out += '}';
}

void render_constraint(const Constraint& c, RenderContext& cx) {
  auto bounded = [&](const char* name) {
    cx.out += name;
    cx.out += '(';
    render_constant(cx, c.value);
    cx.out += ')';
  };
  switch (c.kind) {
    case ConstraintKind::Ge: return bounded("Ge");
    case ConstraintKind::Gt: return bounded("Gt");
    case ConstraintKind::Le: return bounded("Le");
    case ConstraintKind::Lt: return bounded("Lt");
    case ConstraintKind::MultipleOf: return bounded("MultipleOf");
    case ConstraintKind::MinLen:
      cx.out += "MinLen(" + std::to_string(c.value) + ")";
      return;
    case ConstraintKind::MaxLen:
      cx.out += "MaxLen(" + std::to_string(c.value) + ")";
      return;
    case ConstraintKind::Predicate:
      cx.out += "Predicate(...)";
      return;
    case ConstraintKind::Regex:
      cx.out += "Regex(" + quote_text(c.pattern) + ")";
      return;
  }
}

void render_definition_ref(uint64_t index, RenderContext& cx, unsigned depth) {
  if (cx.guard.contains(index)) {
    cx.out += "...";
    return;
  }
  if (index >= cx.definitions.size()) {
    cx.out += "...";
    return;
  }
  cx.guard.insert(index);
  render_at(cx.definitions[index], cx, depth + 1);
  cx.guard.erase(index);
}

void render_at(const SchemaNode& node, RenderContext& cx, unsigned depth) {
  if (depth > RENDER_DEPTH_LIMIT) {
    cx.out += "...";
    return;
  }
  py::require_stack_room("rendering a schema");
  switch (node.kind) {
    case NodeKind::Anything: cx.out += "anything"; return;
    case NodeKind::Any: cx.out += "Any"; return;
    case NodeKind::Nothing: cx.out += "nothing"; return;
    case NodeKind::NoneValue: cx.out += "None"; return;
    case NodeKind::Bool: cx.out += "bool"; return;
    case NodeKind::Int: cx.out += "int"; return;
    case NodeKind::Float: cx.out += "float"; return;
    case NodeKind::Str: cx.out += "str"; return;
    case NodeKind::Bytes: cx.out += "bytes"; return;
    case NodeKind::Literal:
      cx.out += "Literal[";
      render_constant(cx, node.index);
      cx.out += ']';
      return;
    case NodeKind::Sequence: return render_sequence(node, cx, depth);
    case NodeKind::Set:
      cx.out += "set[";
      render_at(*node.child, cx, depth + 1);
      cx.out += ']';
      return;
    case NodeKind::FrozenSet:
      cx.out += "frozenset[";
      render_at(*node.child, cx, depth + 1);
      cx.out += ']';
      return;
    case NodeKind::Record: return render_record(node, cx, depth);
    case NodeKind::Union: return render_nodes(node.members, " | ", cx, depth);
    case NodeKind::Intersection:
      cx.out += "intersection(";
      render_nodes(node.members, ", ", cx, depth);
      cx.out += ')';
      return;
    case NodeKind::Complement:
      cx.out += "complement(";
      render_at(*node.child, cx, depth + 1);
      cx.out += ')';
      return;
    case NodeKind::Instance:
    case NodeKind::Object: return render_class(cx, node.index);
    case NodeKind::Constrained:
      cx.out += "Annotated[";
      render_at(*node.child, cx, depth + 1);
      for (const Constraint& c : node.constraints) {
        cx.out += ", ";
        render_constraint(c, cx);
      }
      cx.out += ']';
      return;
    case NodeKind::DefinitionRef: return render_definition_ref(node.index, cx, depth);
    case NodeKind::RecursionVariable: cx.out += "..."; return;
  }
}

}  // namespace

std::string render_node(const SchemaNode& node, const Constants& constants,
                        const DefinitionTable& definitions) {
  RenderContext cx{constants, definitions, {}, {}};
  render_at(node, cx, 0);
  return std::move(cx.out);
}

}  // namespace tarmelix::render
