// A visit of a dict's items from its own storage that turns a change made by
// user code during the visit into an internal fault instead of a stale read.
#pragma once

#include "py/error.h"

namespace tarmelix {

class DictItems {
 public:
  explicit DictItems(PyObject* dict)
      : dict_(dict), initial_(PyDict_GET_SIZE(dict)), remaining_(initial_) {}

  // The next item, borrowed: the caller takes references before running
  // any Python code. False at the end. Faults when the size changed since
  // the visit began, or when the dict yielded more items than it had at
  // the start.
  bool next(PyObject*& key, PyObject*& value) {
    if (PyDict_GET_SIZE(dict_) != initial_) {
      py::fault("dictionary changed size during iteration");
    }
    if (remaining_ == -1) py::fault("dictionary keys changed during iteration");
    if (!PyDict_Next(dict_, &pos_, &key, &value)) return false;
    --remaining_;
    return true;
  }

 private:
  PyObject* dict_;
  Py_ssize_t initial_;
  Py_ssize_t remaining_;
  Py_ssize_t pos_ = 0;
};

}  // namespace tarmelix
