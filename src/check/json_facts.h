// What the JSON walks know of a schema before any document: whether its walk
// can run code of the user's, and which unions the value's kind alone decides.
// Built with the walk plan; kept apart from the tables the Python walk reads.
#pragma once

#include <cstdint>
#include <optional>

#include "check/flat_table.h"
#include "schema/core.h"

namespace tarmelix {

// One bit per kind of JSON value; an integer of any size is Int.
enum JsonKindBit : uint8_t {
  JSON_NULL = 1 << 0,
  JSON_BOOL = 1 << 1,
  JSON_INT = 1 << 2,
  JSON_FLOAT = 1 << 3,
  JSON_STR = 1 << 4,
  JSON_ARRAY = 1 << 5,
  JSON_OBJECT = 1 << 6,
};
inline constexpr uint8_t JSON_ANY_KIND = 0x7f;

// The kinds a node accepts when its answer depends on the kind alone; empty
// for a node that looks further (a container's items, a literal's value).
std::optional<uint8_t> json_kind_mask(NodeKind kind);

struct JsonFacts {
  // No Instance, Object, predicate, Literal or bound whose comparison could
  // reach a method of the user's: the walk runs only our own code.
  bool runs_only_own_code = false;
  // Keyed by the address of a union's member list: the kinds it accepts,
  // for unions whose every member is decided by the kind alone.
  WordTable union_kinds;
};

void build_json_facts(const ValidatorCore& core, JsonFacts& facts);

// The kind mask of a union decided by kind alone; null without one.
inline const uint64_t* find_union_kinds(const JsonFacts& facts, const SchemaNode& union_node) {
  return facts.union_kinds.find(reinterpret_cast<uintptr_t>(&union_node.members));
}

}  // namespace tarmelix
