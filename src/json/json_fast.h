// The SIMD road of is_valid_json, validate_json and load: the document
// parsed by a SIMD parser, its tape walked in place where json_road.h says
// so, and the Python value load returns (or validate_json explains) built
// from the tape. It answers only where its answer is the event parser
// road's; everything else is left to that road.
#pragma once

#include <memory>
#include <string_view>

#include "check/member_hint.h"
#include "check/walk_plan.h"
#include "json/json_road.h"
#include "py/ref.h"
#include "schema/core.h"

namespace tarmelix::json {

enum class FastJsonAnswer : uint8_t { Member, NotMember, CannotTell };

// is_valid_json: membership of the document's bytes. CannotTell, with no
// error set, where the road is not the tape walk, for any document the
// parser refuses or cannot represent exactly, and when the walk met a fatal
// exception (the other road meets it again and raises it).
FastJsonAnswer check_json_fast(ValidatorCore& core, std::string_view bytes);

// How load and validate_json go on after the SIMD parse. EventParser: the
// tape could not say the document exactly (or the fast roads are off); the
// event parser reads it again. Member: the SIMD walk found a member; Walk:
// the document is to be walked (the SIMD walk found it is not a member, or
// the schema's walk may run code of the user's, which only the reference
// walk runs); NotMember: the SIMD walk found it is not a member, and the
// value is walked to explain it; Refused: so too, with a record or a list
// at the root, and the value is built only as far as the hint of what was
// refused says, to be explained by explain_with_hint.
enum class FastLoadRoad : uint8_t { EventParser, Member, Walk, NotMember, Refused };

struct FastLoad {
  FastLoadRoad road = FastLoadRoad::EventParser;
  // Built from the tape: for Walk and NotMember, for Member when asked, and
  // for Refused as far as the hint says (never a value to hand back).
  py::Ref value;
  std::unique_ptr<MemberHint> hint;  // Refused
};

// The parse of load and validate_json (`call`: which of them, so whether a
// member's value is needed; `first_refusal` true: of a list's refused items
// only the first is wanted). Leaves no error set.
FastLoad load_json_fast(ValidatorCore& core, JsonCall call, std::string_view bytes,
                        bool first_refusal);

}  // namespace tarmelix::json
