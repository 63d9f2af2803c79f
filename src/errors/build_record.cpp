#include "errors/build_record.h"

#include "errors/kind_tables.h"
#include "render/preview.h"

namespace tarmelix::errors {

std::string got_text(PyObject* value) { return preview_repr(value); }

void push_error_record(ErrorList& errors, WalkMode mode, const char* code,
                       std::string_view expected, PyObject* value, const Path& path) {
  if (mode == WalkMode::CheckOnly) return;
  errors.push_back(ErrorRecord{path, std::string(expected), got_text(value), code});
}

ErrorRecord make_key_error_record(const Path& path, std::string key, const char* code,
                                  std::string expected, std::string got) {
  Path full;
  full.reserve(path.size() + 1);
  full = path;
  full.emplace_back(std::move(key));
  return ErrorRecord{std::move(full), std::move(expected), std::move(got), code};
}

bool report_kind_mismatch(bool passed, const SchemaNode& node, PyObject* value, const Path& path,
                          WalkMode mode, ErrorList& errors) {
  if (!passed) push_error_record(errors, mode, kind_error_code(node), kind_display_name(node), value, path);
  return passed;
}

void report_length_mismatch(const char* code, const char* sequence_name, uint64_t count,
                            bool at_least, PyObject* value, const Path& path, WalkMode mode,
                            ErrorList& errors) {
  if (mode == WalkMode::CheckOnly) return;
  std::string expected = sequence_name;
  expected += at_least ? " of length at least " : " of length ";
  expected += std::to_string(count);
  errors.push_back(ErrorRecord{path, std::string(expected), got_text(value), code});
}

}  // namespace tarmelix::errors
