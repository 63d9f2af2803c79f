// The kinds of JSON value, one bit each: a node whose answer depends on the
// kind alone is tested with one mask test per value.
#pragma once

#include <cstdint>
#include <optional>

#include "schema/node.h"

namespace tarmelix::json {

// An integer of any size is Int.
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

// The JSON kinds a node accepts when its answer depends on the kind alone;
// empty for a node that looks further (a container's items, a literal's
// value). Inline: the walks ask it for every scalar value.
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

}  // namespace tarmelix::json
