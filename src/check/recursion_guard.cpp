#include "check/recursion_guard.h"

#include "py/error.h"

namespace tarmelix::check {

GuardEntry RecursionGuard::enter(uint64_t identity, uint64_t definition) {
  for (size_t i = count_; i-- > 0;) {
    if (pairs_[i].identity == identity && pairs_[i].definition == definition) {
      return GuardEntry::Loop;
    }
  }
  if (count_ == RECURSION_GUARD_LIMIT) return GuardEntry::Limit;
  pairs_[count_++] = Pair{identity, definition};
  return GuardEntry::Entered;
}

void RecursionGuard::leave(uint64_t identity, uint64_t definition) {
  if (count_ == 0 || pairs_[count_ - 1].identity != identity ||
      pairs_[count_ - 1].definition != definition) {
    py::fault("recursion guard released out of order");
  }
  --count_;
}

}  // namespace tarmelix::check
