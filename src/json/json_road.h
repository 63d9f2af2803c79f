// Which road a JSON membership call takes: the one policy of is_valid_json,
// validate_json and load, stated here and tested nowhere else.
//
// A document is read by the SIMD parser or by the event parser. The SIMD
// parser's tape is walked in place (the tape walk) only where the schema's
// walk runs our own code alone; its answer then decides, and a refused
// document is explained from what the walk refused. Elsewhere the tape only
// serves load and validate_json as the source of the Python value that the
// reference walk checks, and is_valid_json walks the event parser's tree.
//
//                       SIMD parse            tape walk     detached
//   is_valid_json       no plan, or own code  as the parse  large, own code
//   validate_json/load  always                own code      large, own code
//
// (Always: where the fast roads are on and the SIMD parser may read the
// bytes.) "Own code" is the plan's JSON part's finding (json_plan.h); the
// validator builds the plan before any call, so "no plan" is only a caller
// that built none, whose tape walk takes the reference roads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "check/walk_plan.h"

namespace tarmelix::json {

enum class JsonCall : uint8_t { IsValid, Validate, Load };

struct JsonRoad {
  // The SIMD parser reads the document; else the event parser does.
  bool simd_parse = false;
  // The tape walk decides membership.
  bool tape_walk = false;
  // The parse and the tape walk run without the interpreter lock.
  bool detached = false;
  // A member the tape walk found is built (load returns it).
  bool build_member = false;
  // A document the tape walk refused is built only as far as explains it
  // (records and lists from the root, their refused parts), else whole.
  bool build_refused_parts = false;
};

// Documents this large are parsed and walked without the interpreter lock:
// below it, letting go of the lock and taking it back costs more than other
// threads gain.
inline constexpr size_t DETACHED_BYTES = size_t{64} << 10;

JsonRoad choose_json_road(JsonCall call, const WalkPlan* plan, std::string_view bytes);

}  // namespace tarmelix::json
