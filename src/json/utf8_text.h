// str objects of UTF-8 text the parser has already checked, decoded into the
// compact kind their widest character needs in one allocation, where the
// interpreter's decoder may start narrow, widen and shrink on the way.
#pragma once

#include <cstddef>

#include "py/ref.h"

namespace tarmelix::json {

// A new str of the text, equal to PyUnicode_DecodeUTF8's; null with the
// error set. Text that is not valid UTF-8 (an encoded surrogate among it) is
// handed to that decoder, which raises as it always did.
py::Ref checked_utf8_str(const char* p, size_t n);

}  // namespace tarmelix::json
