// Error text and the ValidationError raised for a failed membership check.
#pragma once

#include <string>

#include "errors/record.h"
#include "py/ref.h"
#include "schema/node.h"

namespace tarmelix {

// Per-kind tables; a Constrained node answers with its base's entry.
const char* kind_error_code(const SchemaNode& node);
const char* kind_display_name(const SchemaNode& node);

// "at {path}: expected {}, got {} [{}]" (no "at ...: " for an empty path).
std::string format_error_line(const ErrorRecord& record);

// Sets ValidationError (message, attributes and errors) built from the records.
void raise_validation_error(const ErrorList& records);

}  // namespace tarmelix
