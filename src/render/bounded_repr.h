// The start of a value's repr, built only as far as a message shows it.
//
// Values of the exact built-in container, str and bytes types are written
// here, character for character as their repr writes them (quote choice,
// escapes, "(1,)", "set()", "[...]" for a container already being shown), so
// a got text of a huge or deeply nested value costs no more than its first
// characters. Elements of any other type are repr'd by their own code, and
// only the elements that the kept characters reach.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "py/ref.h"

namespace tarmelix::render {

// Whether bounded_repr writes this value itself: its type is exactly list,
// tuple, dict, set, frozenset, str or bytes.
bool has_bounded_repr(PyObject* value) noexcept;

// For a value with has_bounded_repr, the UTF-8 text of repr(value) when it
// has at most max_chars characters, else a prefix of it longer than
// max_chars characters (a lone surrogate in an element's repr counts as the
// three U+FFFD it becomes). Empty with the exception set when an element's
// repr raises before that point, or, as with the interpreter's own repr, when
// the nesting runs out of recursion depth or native stack.
std::optional<std::string> bounded_repr(PyObject* value, size_t max_chars);

}  // namespace tarmelix::render
