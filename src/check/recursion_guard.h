// The (value identity, definition index) pairs of the recursive references on
// the current descent of one walk. A pair met again means the value contains
// itself; more than RECURSION_GUARD_LIMIT pairs at once is refused.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace tarmelix::check {

inline constexpr size_t RECURSION_GUARD_LIMIT = 128;

enum class GuardEntry : uint8_t { Entered, Loop, Limit };

class RecursionGuard {
 public:
  // Entered: the pair is held until leave(). Loop and Limit hold nothing.
  GuardEntry enter(uint64_t identity, uint64_t definition);
  // Releases the most recently entered pair, which must be this one.
  void leave(uint64_t identity, uint64_t definition);
  size_t size() const { return count_; }

 private:
  struct Pair {
    uint64_t identity;
    uint64_t definition;
  };
  // Pairs come and go in stack order and never exceed the limit, so a bounded
  // stack scanned from the top beats a hash set and never allocates.
  std::array<Pair, RECURSION_GUARD_LIMIT> pairs_;
  size_t count_ = 0;
};

}  // namespace tarmelix::check
