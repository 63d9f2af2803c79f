// The text that names a Python exception in records and fault messages.
#pragma once

#include <optional>
#include <string>

#include "py/ref.h"

namespace tarmelix::check {

// "{qualname}: {str(exc)}", lone surrogates replaced; "{qualname}: <exception
// str() failed>" when str() raises. Leaves no exception pending.
std::string exception_text(PyObject* exception);

// The UTF-8 text of a str; a lone surrogate becomes U+FFFD per encoded byte.
// Empty with no exception pending only when even that fails.
std::optional<std::string> utf8_replacing(PyObject* text);

}  // namespace tarmelix::check
