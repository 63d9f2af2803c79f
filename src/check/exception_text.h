// The text that names a Python exception in records and fault messages.
#pragma once

#include <optional>
#include <string>

#include "py/ref.h"

namespace tarmelix::check {

// "{qualname}: {str(exc)}", lone surrogates replaced; "{qualname}: <exception
// str() failed>" when str() raises. An ordinary exception of these steps is
// dropped; a fatal one (str() is user code, the texts allocate) stays pending
// and the text is then incomplete, for the caller to pass the exception on.
std::string exception_text(PyObject* exception);

// The UTF-8 text of a str; a lone surrogate becomes U+FFFD per encoded byte.
// Empty when even that fails, with a fatal exception (a MemoryError) left
// pending if that is what failed.
std::optional<std::string> utf8_replacing(PyObject* text);

}  // namespace tarmelix::check
