// Short texts of Python values and classes for messages and annotations.
// Neither function fails: every exception of the Python code they run is
// discarded, whatever its kind.
#pragma once

#include <cstddef>
#include <string>

#include "py/ref.h"

namespace tarmelix::render {

// Characters of a repr kept before "..." is appended.
inline constexpr size_t GOT_TEXT_CHARS = 80;

// repr(value) cut to GOT_TEXT_CHARS characters; "<unrepresentable>" when repr
// raises. Lone surrogates come out as three U+FFFD each.
std::string preview_repr(PyObject* value);

// The object's __name__ when it is a str encodable as UTF-8, else its preview.
std::string render_class_name(PyObject* cls);

}  // namespace tarmelix::render

// This unit's interface, used unqualified from the other folders.
namespace tarmelix {
using render::GOT_TEXT_CHARS;
using render::preview_repr;
using render::render_class_name;
}  // namespace tarmelix
