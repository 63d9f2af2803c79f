#include "check/fold.h"

#include "py/error.h"

namespace tarmelix::check {

void store_fatal_exception(py::Ref exception, FatalErrorSlot& slot, bool& stop) {
  if (!slot.exception) slot.exception = std::move(exception);
  stop = true;
}

bool fold_pending_exception(FatalErrorSlot& slot, bool& stop) {
  py::Ref exception = py::take_exception();
  if (exception && is_fatal_exception(exception.get())) {
    store_fatal_exception(std::move(exception), slot, stop);
  }
  return false;
}

}  // namespace tarmelix::check
