// Holding off the interpreter's automatic collector while a run of our own
// code makes many acyclic containers.
#pragma once

#include "py/ref.h"

namespace tarmelix::py {

// A collection in such a run would find nothing to free and would traverse
// every container made so far, again and again as they age; afterwards the
// next collection meets each of them once. Only around code that runs no
// Python code (no finalizer of a collection, no call of the user's), so the
// collector's state is ours to put back.
class CollectorPaused {
 public:
  CollectorPaused() : was_enabled_(PyGC_Disable() != 0) {}
  ~CollectorPaused() {
    if (was_enabled_) PyGC_Enable();
  }
  CollectorPaused(const CollectorPaused&) = delete;
  CollectorPaused& operator=(const CollectorPaused&) = delete;

 private:
  bool was_enabled_;
};

}  // namespace tarmelix::py
