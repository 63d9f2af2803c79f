// JSON documents given as str or bytes.
#pragma once

#include "errors/walk_mode.h"
#include "py/ref.h"
#include "schema/core.h"

namespace tarmelix::json {

// str or bytes to Python objects; null with TypeError or a json_invalid
// ValidationError set.
py::Ref parse_json_input(PyObject* data);

// is_valid_json: True/False (new reference); null only with a fatal
// exception set.
py::Ref check_json_document(ValidatorCore& core, PyObject* data);

// load (`need_document`) and validate_json: the parsed document, checked in
// `mode` (CollectAll or StopAtFirst), as a new reference (None where the
// document is not needed); null with the TypeError, the "json_invalid" or
// the walk's ValidationError, or the walk's fatal exception set.
py::Ref load_json_document(ValidatorCore& core, PyObject* data, WalkMode mode,
                           bool need_document);

}  // namespace tarmelix::json

// This unit's interface, used unqualified from the other folders.
namespace tarmelix {
using json::parse_json_input;
using json::check_json_document;
using json::load_json_document;
}  // namespace tarmelix
