// Iteration over a dict whose entries are translated one by one while Python
// code runs. A callback that resizes the dict, or swaps its keys so that it
// yields more entries than it had, is an internal fault.
#pragma once

#include "py/ref.h"

namespace tarmelix {

class GuardedDictItems {
 public:
  explicit GuardedDictItems(PyObject* dict) noexcept
      : dict_(dict), size_(PyDict_GET_SIZE(dict)), remaining_(size_) {}

  // The next entry as new references, or false at the end. Throws py::Fault
  // when the dict changed size or keys since iteration began.
  bool next(py::Ref& key, py::Ref& value);

 private:
  PyObject* dict_;
  Py_ssize_t size_;
  Py_ssize_t remaining_;
  Py_ssize_t position_ = 0;
};

}  // namespace tarmelix
