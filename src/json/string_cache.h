// Short ASCII texts of JSON documents as str objects, kept across calls, so
// the keys and small values that every document of a kind repeats are made
// once. Bounded (direct-mapped: a collision replaces the entry) and read and
// written only under the interpreter lock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "py/ref.h"

namespace tarmelix::json {

// Texts longer than this are never cached.
inline constexpr size_t CACHED_TEXT_BYTES = 64;

// A hash of a short text. Reads whole words, up to 7 bytes past the text's
// end, which must be readable (the parser's string buffer keeps far more
// slack than that past its last string); those bytes do not count.
inline uint64_t short_text_hash(const char* p, size_t n) {
  constexpr uint64_t K = 0x517cc1b727220a95ULL;
  uint64_t h = n * K;
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    uint64_t w;
    std::memcpy(&w, p + i, 8);
    h = (((h << 5) | (h >> 59)) ^ w) * K;
  }
  if (i < n) {
    uint64_t w;
    std::memcpy(&w, p + i, 8);
    w &= ~uint64_t{0} >> (64 - 8 * (n - i));
    h = (((h << 5) | (h >> 59)) ^ w) * K;
  }
  return h ^ (h >> 29);
}

// A new reference to a str of the ASCII text (at most CACHED_TEXT_BYTES, its
// hash from short_text_hash), the cached one when the text was seen before;
// null with the error set. A key is always kept, so the keys that repeat in
// one document are one str.
py::Ref cached_ascii_str(const char* p, size_t n, uint64_t hash, bool key);

// A new compact str of ASCII text by one copy; null with the error set.
inline py::Ref ascii_str(const char* p, size_t n) {
  py::Ref s = py::Ref::steal(PyUnicode_New(static_cast<Py_ssize_t>(n), 127));
  if (s) std::memcpy(PyUnicode_1BYTE_DATA(s.get()), p, n);
  return s;
}

}  // namespace tarmelix::json
