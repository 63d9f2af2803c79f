#include "errors/kind_tables.h"

namespace tarmelix::errors {

namespace {

struct KindTexts {
  const char* code;
  const char* display;
};

const SchemaNode& strip_constraints(const SchemaNode& node) {
  const SchemaNode* n = &node;
  while (n->kind == NodeKind::Constrained) n = n->child.get();
  return *n;
}

KindTexts kind_texts(const SchemaNode& node) {
  const SchemaNode& n = strip_constraints(node);
  switch (n.kind) {
    case NodeKind::Anything: return {"anything", "anything"};
    case NodeKind::Any: return {"any", "any"};
    case NodeKind::Nothing: return {"no_match", "nothing"};
    case NodeKind::NoneValue: return {"none_type", "None"};
    case NodeKind::Bool: return {"bool_type", "bool"};
    case NodeKind::Int: return {"int_type", "int"};
    case NodeKind::Float: return {"float_type", "float"};
    case NodeKind::Str: return {"string_type", "str"};
    case NodeKind::Bytes: return {"bytes_type", "bytes"};
    case NodeKind::Literal: return {"literal_error", "literal"};
    case NodeKind::Sequence:
      return n.sequence_kind == SequenceKind::List ? KindTexts{"list_type", "list"}
                                                   : KindTexts{"tuple_type", "tuple"};
    case NodeKind::Set: return {"set_type", "set"};
    case NodeKind::FrozenSet: return {"frozen_set_type", "frozenset"};
    case NodeKind::Record: return {"dict_type", "dict"};
    case NodeKind::Union: return {"union_error", "union"};
    case NodeKind::Intersection: return {"intersection_error", "intersection"};
    case NodeKind::Complement: return {"unexpected_match", "complement"};
    case NodeKind::Instance: return {"instance_type", "instance"};
    case NodeKind::Object: return {"instance_type", "object"};
    case NodeKind::DefinitionRef: return {"recursion", "value"};
    case NodeKind::RecursionVariable: return {"unresolved_recursion", "recursive value"};
    case NodeKind::Constrained: break;  // stripped above
  }
  return {"validation_error", "value"};
}

}  // namespace

const char* kind_error_code(const SchemaNode& node) { return kind_texts(node).code; }

const char* kind_display_name(const SchemaNode& node) { return kind_texts(node).display; }

std::string member_display_names(const std::vector<SchemaNode>& members) {
  std::string out;
  for (size_t i = 0; i < members.size(); ++i) {
    if (i) out += ", ";
    out += kind_display_name(members[i]);
  }
  return out;
}

}  // namespace tarmelix::errors
