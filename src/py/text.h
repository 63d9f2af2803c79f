// Reading the text of a str without leaving an exception behind.
#pragma once

#include <optional>
#include <string_view>

#include "py/error.h"
#include "py/ref.h"

namespace tarmelix::py {

// The UTF-8 of a str, from the str's own cache: valid while the str lives.
// Empty, with the exception discarded, when it cannot be encoded (a lone
// surrogate) or the cache cannot be made (a MemoryError). Only for shortcuts
// that hand a value without text to a road that asks again: any step whose
// answer rests on the text uses utf8_view_or_error, so a MemoryError is
// passed on, never read as a text that matches nothing.
inline std::optional<std::string_view> utf8_view(PyObject* str) noexcept {
  require_interpreter();
  Py_ssize_t size = 0;
  const char* utf8 = PyUnicode_AsUTF8AndSize(str, &size);
  if (!utf8) {
    PyErr_Clear();  // no text is the answer, as said above
    return std::nullopt;
  }
  return std::string_view(utf8, static_cast<size_t>(size));
}

// As utf8_view, but only the failure of a lone surrogate is discarded; any
// other (a MemoryError) stays pending, which tells the two apart.
inline std::optional<std::string_view> utf8_view_or_error(PyObject* str) noexcept {
  require_interpreter();
  Py_ssize_t size = 0;
  const char* utf8 = PyUnicode_AsUTF8AndSize(str, &size);
  if (!utf8) {
    clear_if(PyExc_UnicodeEncodeError);
    return std::nullopt;
  }
  return std::string_view(utf8, static_cast<size_t>(size));
}

// The UTF-8 of an exact str, or empty when it holds a lone surrogate, which
// is looked for first, so no exception object is made. Any other failure
// (a MemoryError) sets `failed`, its exception discarded: for facts made
// ahead of any value, where a text without them takes the general road.
inline std::optional<std::string_view> utf8_unless_surrogate(PyObject* text, bool& failed) noexcept {
  failed = false;
  if (PyUnicode_KIND(text) != PyUnicode_1BYTE_KIND) {
    const Py_ssize_t n = PyUnicode_GET_LENGTH(text);
    const int kind = PyUnicode_KIND(text);
    const void* data = PyUnicode_DATA(text);
    for (Py_ssize_t i = 0; i < n; ++i) {
      const Py_UCS4 c = PyUnicode_READ(kind, data, i);
      if (c >= 0xD800 && c <= 0xDFFF) return std::nullopt;
    }
  }
  std::optional<std::string_view> utf8 = utf8_view(text);
  failed = !utf8;
  return utf8;
}

}  // namespace tarmelix::py
