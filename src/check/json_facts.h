// What the JSON walks know of a schema before any document: whether its walk
// can run code of the user's, and which unions the value's kind alone decides.
// Built with the walk plan; kept apart from the tables the Python walk reads.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "check/flat_table.h"
#include "schema/core.h"

namespace tarmelix::check {

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
// Inline: the walks ask it for every scalar value.
inline std::optional<uint8_t> json_kind_mask(NodeKind kind) {
  switch (kind) {
    case NodeKind::Anything:
    case NodeKind::Any:
      return JSON_ANY_KIND;
    case NodeKind::Nothing:
    case NodeKind::Bytes:
    case NodeKind::Set:
    case NodeKind::FrozenSet:
    case NodeKind::RecursionVariable:
      return 0;
    case NodeKind::NoneValue:
      return JSON_NULL;
    case NodeKind::Bool:
      return JSON_BOOL;
    // bool is an int subclass
    case NodeKind::Int:
      return JSON_BOOL | JSON_INT;
    case NodeKind::Float:
      return JSON_FLOAT;
    case NodeKind::Str:
      return JSON_STR;
    default:
      return std::nullopt;
  }
}

// A field name as its key's text lies in the SIMD parser's string buffer
// (a 4-byte length, then the bytes), zero past them: a key is compared by
// two 16-byte loads. Names too long for it have width 0.
struct JsonKeyPattern {
  static constexpr size_t BYTES = 32;
  alignas(16) uint8_t bytes[BYTES] = {};
  uint8_t width = 0;  // bytes that count: 4 + the name's length
};

// The kinds of a field's value that decide it alone, or JSON_WALK where its
// value needs the walk.
inline constexpr uint8_t JSON_WALK = 0x80;

// A record as the JSON walks read it, found by one lookup.
struct JsonRecord {
  // Field names hashed for bare text (json_key_hash), each to the position
  // of the last field of that name, as the record index maps them.
  TextTable keys;
  size_t required_count = 0;
  bool distinct = false;  // no two fields share a name
  std::vector<uint8_t> field_kinds;
  std::vector<JsonKeyPattern> field_keys;
};

struct JsonFacts {
  // No Instance, Object, predicate, Literal or bound whose comparison could
  // reach a method of the user's: the walk runs only our own code.
  bool runs_only_own_code = false;
  // Keyed by the address of a union's member list: the kinds it accepts,
  // for unions whose every member is decided by the kind alone.
  WordTable union_kinds;
  // Keyed by the address of a record's field list: its entry in records.
  WordTable record_slots;
  std::vector<JsonRecord> records;
};

// The hash JsonRecord keys are keyed by: cheaper than the interpreter's str
// hash, which a text from a document has no cached copy of.
inline uint64_t json_key_hash(std::string_view text) { return schema::fx_hash_bytes(text); }

void build_json_facts(const ValidatorCore& core, JsonFacts& facts);

// The kind mask of a union decided by kind alone; null without one.
inline const uint64_t* find_union_kinds(const JsonFacts& facts, const SchemaNode& union_node) {
  return facts.union_kinds.find(reinterpret_cast<uintptr_t>(&union_node.members));
}

// A record's entry; null without one (a record with no fields has none).
inline const JsonRecord* find_json_record(const JsonFacts& facts, const SchemaNode& record) {
  const uint64_t* slot = facts.record_slots.find(reinterpret_cast<uintptr_t>(&record.fields));
  return slot ? &facts.records[*slot] : nullptr;
}

}  // namespace tarmelix::check
