// Native stack headroom of the calling thread. Python code can re-enter a
// walk from inside a walk (a predicate that validates again), and a thread
// may be started with a small stack; the interpreter's recursion limit counts
// only its own frames, so every recursion over trees or values checks the
// native stack itself and raises RecursionError before it runs out instead of
// crashing the process.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tarmelix::py {

// What one level of a recursion may use before the next level's check: its
// own frames and the Python calls it makes at that level (a predicate, an
// __eq__, a repr). About what the newest interpreters keep free below any
// Python call of their own; small enough that a shallow walk fits the 44 KiB
// a 52 KiB thread stack has left where the walk starts. Sanitizer builds pad
// every frame.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr size_t STEP_STACK_RESERVE = size_t{128} << 10;
#else
inline constexpr size_t STEP_STACK_RESERVE = size_t{32} << 10;
#endif

// True when more than `bytes` of the thread's native stack are left below
// the caller's frame (or when the stack's bounds cannot be read).
bool stack_has_room(size_t bytes) noexcept;

// Where the calling thread's stack leaves `reserve` bytes, read once, for a
// recursion that checks every level of a hot loop: the check is then one
// comparison, not a call.
class StackBound {
 public:
  explicit StackBound(size_t reserve) noexcept;
  // As stack_has_room(reserve), on the thread that made this bound.
  bool has_room() const noexcept {
#if defined(__SANITIZE_ADDRESS__)
    // A local there may live on the sanitizer's fake stack, off the thread's.
    const uintptr_t here = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
#else
    // A local's address needs no frame pointer in the caller.
    const char probe = 0;
    const uintptr_t here = reinterpret_cast<uintptr_t>(&probe);
#endif
    return here > limit_;
  }

 private:
  uintptr_t limit_;  // 0 when the stack's bounds cannot be read
};

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
