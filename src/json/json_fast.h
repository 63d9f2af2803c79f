// The validity road of is_valid_json and validate_json: the document parsed
// by a SIMD parser and its tape walked in place. It answers only where its
// answer is the event parser road's; everything else is left to that road.
#pragma once

#include <string_view>

#include "schema/core.h"

namespace tarmelix::json {

enum class FastJsonAnswer : uint8_t { Member, NotMember, CannotTell };

// Membership of the document's bytes. CannotTell, with no error set, with the
// slow switch on (check/slow_paths.h), for a schema whose walk may run code of
// the user's, for any document the parser refuses or cannot represent exactly,
// and when the walk met a fatal exception (the other road meets it again and
// raises it).
FastJsonAnswer check_json_fast(ValidatorCore& core, std::string_view bytes);

}  // namespace tarmelix::json
