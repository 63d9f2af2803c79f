// How Python exceptions raised by user code during a membership walk become
// answers: an ordinary exception means non-member; a fatal one is kept and
// stops the walk, and the entry point raises it unchanged.
#pragma once

#include "py/error.h"
#include "py/ref.h"

namespace tarmelix::check {

// The first fatal exception of one walk. The stop flag lives beside it in the
// walk's state; once raised it stays raised.
struct FatalErrorSlot {
  py::Ref exception;
};

// MemoryError, RecursionError, or anything not derived from Exception.
using py::is_fatal_exception;

// Keeps the exception when the slot is empty (the first one wins) and raises
// the stop flag either way.
void store_fatal_exception(py::Ref exception, FatalErrorSlot& slot, bool& stop);

// Takes the pending exception out of the indicator and settles it: false in
// every case; a fatal exception is stored, any other discarded.
bool fold_pending_exception(FatalErrorSlot& slot, bool& stop);

// A C API truth result (1, 0, or -1 with the indicator set) as an answer.
inline bool fold_truth(int result, FatalErrorSlot& slot, bool& stop) {
  if (result >= 0) return result > 0;
  return fold_pending_exception(slot, stop);
}

}  // namespace tarmelix::check
