// Building error records during a walk. Every helper that takes a WalkMode
// records nothing in CheckOnly, so a member costs no record work.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "check/validate.h"
#include "errors/record.h"
#include "py/ref.h"
#include "schema/node.h"

namespace tarmelix::errors {

// The got text of a Python value: its preview_repr (never fails).
std::string got_text(PyObject* value);

// Appends a record at a copy of `path` with got = got_text(value), unless
// the mode is CheckOnly. (The walk's own make_error_record, check/walk.h,
// builds the same record.)
void push_error_record(ErrorList& errors, WalkMode mode, const char* code,
                       std::string_view expected, PyObject* value, const Path& path);

// A record at a copy of `path` followed by Key(key), with the given texts
// (missing_key, missing_attribute, extra_forbidden). Returned, not appended.
ErrorRecord make_key_error_record(const Path& path, std::string key, const char* code,
                                  std::string expected, std::string got);

// Returns `passed`; when it is false and the mode records, appends the kind
// record of `node` (kind_error_code, kind_display_name, got_text(value)).
bool report_kind_mismatch(bool passed, const SchemaNode& node, PyObject* value, const Path& path,
                          WalkMode mode, ErrorList& errors);

// Unless the mode is CheckOnly, appends `code` with "{name} of length {count}"
// or, when `at_least`, "{name} of length at least {count}".
void report_length_mismatch(const char* code, const char* sequence_name, uint64_t count,
                            bool at_least, PyObject* value, const Path& path, WalkMode mode,
                            ErrorList& errors);

}  // namespace tarmelix::errors

// This unit's interface, used unqualified from the other folders.
namespace tarmelix {
using errors::got_text;
using errors::push_error_record;
using errors::make_key_error_record;
using errors::report_kind_mismatch;
using errors::report_length_mismatch;
}  // namespace tarmelix
