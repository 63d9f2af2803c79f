#include "build/dict_items.h"

#include "py/error.h"

namespace tarmelix {

bool GuardedDictItems::next(py::Ref& key, py::Ref& value) {
  if (PyDict_GET_SIZE(dict_) != size_) py::fault("dictionary changed size during iteration");
  if (remaining_ < 0) py::fault("dictionary keys changed during iteration");
  PyObject* k = nullptr;
  PyObject* v = nullptr;
  if (!PyDict_Next(dict_, &position_, &k, &v)) return false;
  --remaining_;
  key = py::Ref::borrow(k);
  value = py::Ref::borrow(v);
  return true;
}

}  // namespace tarmelix
