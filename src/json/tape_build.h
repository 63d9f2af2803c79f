// Python objects of a document on the SIMD parser's tape: what load returns
// and what validate_json walks to explain a document that is not a member.
#pragma once

#include <cstddef>

#include "json/json_plan.h"
#include "json/simd_tape.h"
#include "py/ref.h"

namespace tarmelix::json {

// Native stack the builder may use for the deepest document the parser
// admits; the caller checks it once, before the build.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr size_t TAPE_BUILD_STACK = size_t{1} << 20;
#else
inline constexpr size_t TAPE_BUILD_STACK = size_t{160} << 10;
#endif

// The value at the tape's index `at` as the event parser road builds it:
// lists, dicts whose repeated key keeps its first position and its last
// value, exact strs, ints and floats. Keys that name a field of the plan's
// records are the plan's interned strs (`names` may be null); short ASCII
// texts come from the cache across calls. Null with the error set.
py::Ref build_from_tape(const SimdTape& tape, size_t at, const FieldNameTable* names);

// The key at the tape's index `at` (a string word) as build_from_tape makes
// it. Null with the error set.
py::Ref build_key_from_tape(const SimdTape& tape, size_t at, const FieldNameTable* names);

// convert_from_tape (json/simd_tape.h), for the walk's conversions: as
// build_from_tape with no names, but a word of a type the builder does not
// know throws UnknownTapeType, as the walk's own reads do, and where the
// stack has not TAPE_BUILD_STACK left the walk's level-by-level conversion
// makes the value (a short stack throws py::StackExhausted there).

}  // namespace tarmelix::json
