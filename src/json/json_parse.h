// A JSON document parsed straight into Python objects (load, validate_json).
#pragma once

#include <string_view>

#include "py/ref.h"

namespace tarmelix::json {

// The document as dict/list/str/int/float/bool/None objects. Null with the
// "json_invalid" ValidationError set for a malformed document, or with the
// interpreter's own exception when making an object failed; throws
// py::StackExhausted when the native stack runs short.
py::Ref parse_json_to_python(std::string_view input);

}  // namespace tarmelix::json
