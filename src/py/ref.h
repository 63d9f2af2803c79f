// Owned references to Python objects. Every strong reference the module keeps
// lives in a Ref, so no path can leak or double-release one.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <utility>

namespace tarmelix::py {

// Debug and sanitizer builds (TARMELIX_CHECKED) stop at any reference
// operation of a thread that holds no interpreter lock (the JSON roads let go
// of it while they parse and walk a large document).
inline void require_interpreter() noexcept {
#if defined(TARMELIX_CHECKED)
  if (!PyGILState_Check()) {
    Py_FatalError("tarmelix: Python API used without the interpreter lock");
  }
#endif
}

class Ref {
 public:
  Ref() noexcept = default;
  Ref(std::nullptr_t) noexcept {}
  ~Ref() {
    if (ptr_) require_interpreter();
    Py_XDECREF(ptr_);
  }

  // Takes over a reference the caller already owns (a "new reference" result).
  static Ref steal(PyObject* p) noexcept { return Ref(p); }
  // Takes a new reference to a borrowed object.
  static Ref borrow(PyObject* p) noexcept {
    if (p) require_interpreter();
    Py_XINCREF(p);
    return Ref(p);
  }

  Ref(const Ref& o) noexcept : ptr_(o.ptr_) {
    if (ptr_) require_interpreter();
    Py_XINCREF(ptr_);
  }
  Ref(Ref&& o) noexcept : ptr_(std::exchange(o.ptr_, nullptr)) {}
  Ref& operator=(const Ref& o) noexcept {
    Ref tmp(o);
    std::swap(ptr_, tmp.ptr_);
    return *this;
  }
  Ref& operator=(Ref&& o) noexcept {
    Ref tmp(std::move(o));
    std::swap(ptr_, tmp.ptr_);
    return *this;
  }

  PyObject* get() const noexcept { return ptr_; }
  PyObject* release() noexcept { return std::exchange(ptr_, nullptr); }
  explicit operator bool() const noexcept { return ptr_ != nullptr; }
  void reset() noexcept { Ref().swap(*this); }
  void swap(Ref& o) noexcept { std::swap(ptr_, o.ptr_); }

 private:
  explicit Ref(PyObject* p) noexcept : ptr_(p) {}
  PyObject* ptr_ = nullptr;
};

// A new reference to None, True or False.
inline Ref none() { return Ref::borrow(Py_None); }
inline Ref boolean(bool b) { return Ref::borrow(b ? Py_True : Py_False); }

}  // namespace tarmelix::py
