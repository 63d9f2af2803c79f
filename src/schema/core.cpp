#include "schema/core.h"

#include <algorithm>
#include <string>

#include "schema/measure.h"

namespace tarmelix::schema {

namespace {
void limit_error(const char* before, uint64_t measured, const char* middle, uint64_t limit,
                 const char* after) {
  std::string text = std::string(before) + std::to_string(measured) + middle +
                     std::to_string(limit) + after;
  PyErr_SetString(PyExc_ValueError, text.c_str());
}
}  // namespace

std::optional<ValidatorCore> check_limits(SchemaNode root, Constants constants,
                                          DefinitionTable definitions) {
  uint64_t depth = 0;
  for (const SchemaNode& d : definitions) depth = std::max(depth, node_depth(d));
  depth = std::max(depth, node_depth(root));
  if (depth > MAX_SCHEMA_DEPTH) {
    limit_error("schema nesting is too deep: this validator reaches ", depth,
                " levels of nesting, past the limit of ", MAX_SCHEMA_DEPTH,
                ". A validator this deep comes from building in an unbounded loop; checking it "
                "would risk a native stack overflow. Express structural recursion with "
                "recursive(...) instead of nesting schemas.");
    return std::nullopt;
  }
  if (definitions.size() > MAX_DEFINITIONS) {
    limit_error("schema holds too many recursive definitions: this validator has ",
                definitions.size(), " of them, past the limit of ", MAX_DEFINITIONS,
                ". A validator with this many comes from chaining recursive schemas in an "
                "unbounded loop; rendering or deciding it would risk a native stack overflow.");
    return std::nullopt;
  }
  uint64_t size = count_nodes(root);
  for (const SchemaNode& d : definitions) size += count_nodes(d);
  if (size > MAX_SCHEMA_NODES) {
    limit_error("schema is too large: this validator spans ", size, " nodes, past the limit of ",
                MAX_SCHEMA_NODES,
                ". A schema this large comes from combining a validator with itself in an "
                "unbounded loop, which doubles its size each step; building it would exhaust "
                "memory.");
    return std::nullopt;
  }
  return ValidatorCore(std::move(constants), std::move(definitions), std::move(root));
}

}  // namespace tarmelix::schema
