// JSON documents given as str or bytes.
#pragma once

#include "py/ref.h"
#include "schema/core.h"

namespace tarmelix::json {

// str or bytes to Python objects; null with TypeError or a json_invalid
// ValidationError set.
py::Ref parse_json_input(PyObject* data);

// is_valid_json: True/False (new reference); null only with a fatal
// exception set.
py::Ref check_json_document(ValidatorCore& core, PyObject* data);

// True when the document is known to parse and be a member, without error
// records (validate_json answers such a document at once); false when it is
// not or that is not known. Leaves no error set.
bool json_document_known_member(ValidatorCore& core, PyObject* data);

}  // namespace tarmelix::json

// This unit's interface, used unqualified from the other folders.
namespace tarmelix {
using json::parse_json_input;
using json::check_json_document;
using json::json_document_known_member;
}  // namespace tarmelix
