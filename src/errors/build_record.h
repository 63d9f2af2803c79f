// Building error records during a walk. Every helper that takes a WalkMode
// records nothing in CheckOnly, so a member costs no record work, and the
// walk's path is copied only into a record that is made.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "errors/error_list.h"
#include "errors/walk_mode.h"
#include "errors/walk_path.h"
#include "py/ref.h"
#include "schema/node.h"

namespace tarmelix::errors {

// When a record's got text is made: at once, or once the record is known to
// be kept. A union's candidates record failures most of which are dropped,
// and the preview of a large value costs as much as the value is large.
enum class GotWhen : uint8_t { Now, Kept };

// The got text of a Python value: its preview_repr (never fails).
std::string got_text(PyObject* value);

// A record at a copy of `path` holding `value`, with got = got_text(value)
// (or, with Kept, got pending until make_pending_got_texts).
ErrorRecord make_error_record(const char* code, std::string_view expected, PyObject* value,
                              const WalkPath& path, GotWhen when = GotWhen::Now);

// Appends make_error_record(...) unless the mode is CheckOnly or the failure
// is listed already (then no got text is made).
void push_error_record(ErrorList& errors, WalkMode mode, const char* code,
                       std::string_view expected, PyObject* value, const WalkPath& path,
                       GotWhen when = GotWhen::Now);

// A record at a copy of `path` followed by Key(key), with the given texts
// (missing_key, missing_attribute, extra_forbidden). Returned, not appended.
ErrorRecord make_key_error_record(const WalkPath& path, std::string_view key, const char* code,
                                  std::string expected, std::string got);

// Returns `passed`; when it is false and the mode records, appends the kind
// record of `node` (kind_error_code, kind_display_name, got_text(value)).
bool report_kind_mismatch(bool passed, const SchemaNode& node, PyObject* value,
                          const WalkPath& path, WalkMode mode, ErrorList& errors,
                          GotWhen when = GotWhen::Now);

// Unless the mode is CheckOnly, appends `code` with "{name} of length {count}"
// or, when `at_least`, "{name} of length at least {count}".
void report_length_mismatch(const char* code, const char* sequence_name, uint64_t count,
                            bool at_least, PyObject* value, const WalkPath& path, WalkMode mode,
                            ErrorList& errors, GotWhen when = GotWhen::Now);

// The records from `first` on are kept: each got text still pending is made
// now, once (for every list that shares the record).
void make_pending_got_texts(ErrorList& errors, size_t first);

}  // namespace tarmelix::errors

// This unit's interface, used unqualified from the other folders.
namespace tarmelix {
using errors::GotWhen;
using errors::got_text;
using errors::make_error_record;
using errors::make_pending_got_texts;
using errors::push_error_record;
using errors::make_key_error_record;
using errors::report_kind_mismatch;
using errors::report_length_mismatch;
}  // namespace tarmelix
