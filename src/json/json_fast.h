// The validity road of is_valid_json and validate_json: the document parsed
// by a SIMD parser and its tape walked in place. It answers only where its
// answer is the event parser road's; everything else is left to that road.
#pragma once

#include <cstdint>
#include <string_view>

#include "schema/core.h"

namespace tarmelix::json {

enum class FastJsonAnswer : uint8_t { Member, NotMember, CannotTell };

// Membership of the document's bytes. CannotTell, with no error set, for a
// schema whose walk may run code of the user's, for any document the parser
// refuses or cannot represent exactly, and when the walk met a fatal
// exception (the other road meets it again and raises it).
FastJsonAnswer check_json_fast(ValidatorCore& core, std::string_view bytes);

// The walk of check_json_fast over a document the SIMD parser has parsed, given
// its tape and string buffer. CannotTell as above, and as soon as the walk
// meets a tape word of a type the reader does not know.
FastJsonAnswer check_simd_tape(ValidatorCore& core, const uint64_t* tape, const uint8_t* strings);

}  // namespace tarmelix::json
