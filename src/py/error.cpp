#include "py/error.h"

#include "py/once.h"

namespace tarmelix::py {

namespace {
// Leaked on purpose: process-wide state outlives the interpreter's finalisation.
OnceCell<Ref>& panic_cell() {
  static OnceCell<Ref>* cell = new OnceCell<Ref>();
  return *cell;
}
}  // namespace

bool is_fatal_exception(PyObject* exception) noexcept {
  if (!exception_matches(exception, PyExc_Exception)) return true;
  return exception_matches(exception, PyExc_MemoryError) ||
         exception_matches(exception, PyExc_RecursionError);
}

bool clear_unless_fatal() noexcept {
  Ref exception = take_exception();
  if (!exception || !is_fatal_exception(exception.get())) return true;
  restore_exception(std::move(exception));
  return false;
}

PyObject* panic_exception_type() {
  const Ref* type = panic_cell().get_or_init([]() -> std::optional<Ref> {
    Ref t = Ref::steal(PyErr_NewExceptionWithDoc(
        "pyo3_runtime.PanicException",
        "Raised when the extension meets an internal fault it cannot recover from.\n\n"
        "It derives from BaseException so that ordinary `except Exception` handlers\n"
        "do not swallow it.",
        PyExc_BaseException, nullptr));
    if (!t) return std::nullopt;
    return t;
  });
  return type ? type->get() : nullptr;
}

void raise_panic(const std::string& message) noexcept {
  // The panic takes the place of whatever the failing step left pending.
  PyErr_Clear();
  PyObject* type = panic_exception_type();
  if (!type) return;  // the indicator holds the creation failure
  Ref text = Ref::steal(PyUnicode_DecodeUTF8(message.data(), static_cast<Py_ssize_t>(message.size()),
                                             "replace"));
  if (!text) return;
  PyErr_SetObject(type, text.get());
}

}  // namespace tarmelix::py
