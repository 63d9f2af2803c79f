// The strs of a JSON document's strings and keys: the one way both
// builders of Python values (the SIMD tape's and the event parser's) and the
// walk's conversions make them. Short ASCII texts are kept across calls, so
// the keys and small values that every document of a kind repeats are made
// once. Bounded (direct-mapped: a collision replaces the entry) and read and
// written only under the interpreter lock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "json/ascii_text.h"
#include "json/utf8_text.h"
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

// The str of a document's string (a key when `key`) from the UTF-8 text its
// parser checked; text that is not valid UTF-8 raises as
// PyUnicode_DecodeUTF8 does. Short ASCII text comes from the cache (`hash`,
// its short_text_hash, when the caller has it), other ASCII text by one
// copy, the rest is decoded in one allocation. Reads up to 7 bytes past a
// short text, as short_text_hash does. Null with the error set. Inline: the
// builders make a str of every string they meet.
inline py::Ref json_str(const char* p, size_t n, bool key, const uint64_t* hash = nullptr) {
  if (!is_ascii(p, n)) return checked_utf8_str(p, n);
  if (n > CACHED_TEXT_BYTES) return ascii_str(p, n);
  return cached_ascii_str(p, n, hash ? *hash : short_text_hash(p, n), key);
}

// json_str of text whose following bytes may not be read.
py::Ref json_str(std::string_view text, bool key);

}  // namespace tarmelix::json
