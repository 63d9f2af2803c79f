// A visit of a dict's items from its own storage while Python code may run
// between steps: a change made by that code (a resize, or keys swapped so
// that the dict yields more items than it had) is an internal fault instead
// of a stale read.
#pragma once

#include "py/error.h"
#include "py/ref.h"

namespace tarmelix::py {

class DictItems {
 public:
  explicit DictItems(PyObject* dict) noexcept
      : dict_(dict), initial_(PyDict_GET_SIZE(dict)), remaining_(initial_) {}

  // The next item, borrowed: the caller takes references before running any
  // Python code. False at the end. Throws Fault when the size changed since
  // the visit began, or when the dict yielded more items than it had.
  bool next(PyObject*& key, PyObject*& value) {
    if (PyDict_GET_SIZE(dict_) != initial_) fault("dictionary changed size during iteration");
    if (remaining_ == -1) fault("dictionary keys changed during iteration");
    if (!PyDict_Next(dict_, &pos_, &key, &value)) return false;
    --remaining_;
    return true;
  }

  // The next item as new references.
  bool next(Ref& key, Ref& value) {
    PyObject* k = nullptr;
    PyObject* v = nullptr;
    if (!next(k, v)) return false;
    key = Ref::borrow(k);
    value = Ref::borrow(v);
    return true;
  }

 private:
  PyObject* dict_;
  Py_ssize_t initial_;
  Py_ssize_t remaining_;
  Py_ssize_t pos_ = 0;
};

}  // namespace tarmelix::py
