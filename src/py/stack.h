// Native stack headroom of the calling thread. Python code can re-enter a
// walk from inside a walk (a predicate that validates again); the
// interpreter's recursion limit counts only its own frames, so the walks
// check the native stack themselves and raise RecursionError before it runs
// out instead of crashing the process.
#pragma once

#include <cstddef>

namespace tarmelix::py {

// What a walk may use between two checks: a schema of the deepest allowed
// nesting, with room to spare for the Python code it calls. Sanitizer
// builds pad every frame.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr size_t WALK_STACK_RESERVE = size_t{1} << 20;
#else
inline constexpr size_t WALK_STACK_RESERVE = size_t{256} << 10;
#endif

// True when more than `bytes` of the thread's native stack are left below
// the caller's frame (or when the stack's bounds cannot be read).
bool stack_has_room(size_t bytes) noexcept;

// Sets the RecursionError that a walk without room raises.
void set_stack_exhausted() noexcept;

}  // namespace tarmelix::py
