// Native stack headroom of the calling thread. Python code can re-enter a
// walk from inside a walk (a predicate that validates again), and a thread
// may be started with a small stack; the interpreter's recursion limit counts
// only its own frames, so every recursion over trees or values checks the
// native stack itself and raises RecursionError before it runs out instead of
// crashing the process.
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

// What one level of any other recursion may use before the next level's
// check: its own frames and the Python calls it makes at that level.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr size_t STEP_STACK_RESERVE = size_t{128} << 10;
#else
inline constexpr size_t STEP_STACK_RESERVE = size_t{32} << 10;
#endif

// True when more than `bytes` of the thread's native stack are left below
// the caller's frame (or when the stack's bounds cannot be read).
bool stack_has_room(size_t bytes) noexcept;

// Sets the RecursionError raised when the stack runs short while doing
// `activity` ("validating", "compiling a schema", ...).
void set_stack_exhausted(const char* activity = "validating") noexcept;

// Thrown by recursions that have no error channel of their own (the tree
// model's copy, order, hash, measures and rewrites, rendering); the entry
// trap raises it as RecursionError. Not a std::exception, so no handler of
// internal faults mistakes it for one.
struct StackExhausted {
  const char* activity;
};

// One level's check for such recursions: throws StackExhausted when less than
// STEP_STACK_RESERVE is left.
inline void require_stack_room(const char* activity) {
  if (!stack_has_room(STEP_STACK_RESERVE)) [[unlikely]]
    throw StackExhausted{activity};
}

}  // namespace tarmelix::py
