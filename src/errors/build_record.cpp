#include "errors/build_record.h"

#include "errors/kind_tables.h"
#include "render/preview.h"

namespace tarmelix::errors {

std::string got_text(PyObject* value) { return preview_repr(value); }

ErrorRecord make_error_record(const char* code, std::string_view expected, PyObject* value,
                              const WalkPath& path, GotWhen when) {
  const bool now = when == GotWhen::Now;
  return ErrorRecord{copy_path(path), std::string(expected), now ? got_text(value) : std::string(),
                     code, py::Ref::borrow(value), !now};
}

void push_error_record(ErrorList& errors, WalkMode mode, const char* code,
                       std::string_view expected, PyObject* value, const WalkPath& path,
                       GotWhen when) {
  if (mode == WalkMode::CheckOnly) return;
  // A failure listed already needs no preview made.
  if (errors.push_back(make_error_record(code, expected, value, path, GotWhen::Kept)) &&
      when == GotWhen::Now) {
    make_pending_got_texts(errors, errors.size() - 1);
  }
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
  push_error_record(errors, mode, code, expected, value, path, when);
}

void make_pending_got_texts(ErrorList& errors, size_t first) {
  for (size_t i = first; i < errors.size(); ++i) {
    ErrorRecord& r = errors.pending(i);
    if (r.got_pending) {
      r.got = got_text(r.got_value.get());
      r.got_pending = false;
    }
  }
}

}  // namespace tarmelix::errors
