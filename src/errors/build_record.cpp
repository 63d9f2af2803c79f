#include "errors/build_record.h"

#include "errors/kind_tables.h"
#include "py/stack.h"
#include "render/preview.h"

namespace tarmelix::errors {

namespace {

// What the interpreter's repr of a nested value may use of the native stack:
// it recurses once a nesting level and checks only its own depth.
#if defined(__SANITIZE_ADDRESS__)
constexpr size_t REPR_STACK_RESERVE = size_t{1} << 20;
#else
constexpr size_t REPR_STACK_RESERVE = size_t{256} << 10;
#endif

// Whether the value's repr is made without recursion or user code.
bool repr_is_flat(PyObject* v) {
  return v == Py_None || PyBool_Check(v) || PyLong_CheckExact(v) || PyFloat_CheckExact(v) ||
         PyUnicode_CheckExact(v) || PyBytes_CheckExact(v);
}

}  // namespace

std::string got_text(PyObject* value) {
  // A walk asks only a step's room of the stack; a text that may recurse
  // takes the repr's too, else the call raises RecursionError.
  if (!repr_is_flat(value) && !py::stack_has_room(REPR_STACK_RESERVE)) {
    throw py::StackExhausted{"validating"};
  }
  return preview_repr(value);
}

ErrorRecord make_error_record(const char* code, std::string_view expected, PyObject* value,
                              const WalkPath& path, GotWhen when) {
  if (when == GotWhen::Kept) {
    return ErrorRecord{copy_path(path), std::string(expected), std::string(), code,
                       py::Ref::borrow(value)};
  }
  return ErrorRecord{copy_path(path), std::string(expected), got_text(value), code};
}

void push_error_record(ErrorList& errors, WalkMode mode, const char* code,
                       std::string_view expected, PyObject* value, const WalkPath& path,
                       GotWhen when) {
  if (mode == WalkMode::CheckOnly) return;
  errors.push_back(make_error_record(code, expected, value, path, when));
}

ErrorRecord make_key_error_record(const WalkPath& path, std::string_view key, const char* code,
                                  std::string expected, std::string got) {
  return ErrorRecord{copy_path(path.key(key)), std::move(expected), std::move(got), code};
}

bool report_kind_mismatch(bool passed, const SchemaNode& node, PyObject* value,
                          const WalkPath& path, WalkMode mode, ErrorList& errors, GotWhen when) {
  if (!passed) {
    push_error_record(errors, mode, kind_error_code(node), kind_display_name(node), value, path,
                      when);
  }
  return passed;
}

void report_length_mismatch(const char* code, const char* sequence_name, uint64_t count,
                            bool at_least, PyObject* value, const WalkPath& path, WalkMode mode,
                            ErrorList& errors, GotWhen when) {
  if (mode == WalkMode::CheckOnly) return;
  std::string expected = sequence_name;
  expected += at_least ? " of length at least " : " of length ";
  expected += std::to_string(count);
  errors.push_back(make_error_record(code, expected, value, path, when));
}

void make_pending_got_texts(ErrorList& errors, size_t first) {
  for (size_t i = first; i < errors.size(); ++i) {
    ErrorRecord& r = errors[i];
    if (r.got_pending) {
      r.got = got_text(r.got_pending.get());
      r.got_pending.reset();
    }
  }
}

}  // namespace tarmelix::errors
