#include "json/utf8_text.h"

#include <cstdint>
#include <cstring>

namespace tarmelix::json {

namespace {

constexpr uint64_t HIGH_BITS = 0x8080808080808080ULL;

// What one pass over the bytes tells: the characters, and the largest lead
// byte, which names the widest character's range in valid UTF-8 (below 0xC4:
// up to U+00FF; below 0xF0: up to U+FFFF).
struct Measure {
  size_t chars = 0;
  unsigned max_lead = 0;
};

Measure measure(const unsigned char* p, size_t n) {
  Measure m;
  size_t continuation = 0;
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    uint64_t w;
    std::memcpy(&w, p + i, 8);
    if ((w & HIGH_BITS) == 0) continue;
    // Continuation bytes are 10xxxxxx: bit 7 set, bit 6 clear.
    continuation += static_cast<size_t>(__builtin_popcountll(w & ~(w << 1) & HIGH_BITS));
    for (size_t j = 0; j < 8; ++j) {
      const unsigned b = p[i + j];
      if (b > m.max_lead) m.max_lead = b;
    }
  }
  for (; i < n; ++i) {
    const unsigned b = p[i];
    continuation += (b & 0xC0) == 0x80;
    if (b > m.max_lead) m.max_lead = b;
  }
  m.chars = n - continuation;
  return m;
}

// Decodes valid UTF-8 of at most the kind's width into `out`; false at an
// encoded surrogate (ED A0..BF), which no str of ours may hold.
template <class Char>
bool decode(const unsigned char* p, size_t n, Char* out) {
  size_t i = 0;
  while (i < n) {
    const unsigned b = p[i];
    if (b < 0x80) {
      *out++ = static_cast<Char>(b);
      ++i;
    } else if (b < 0xE0) {
      *out++ = static_cast<Char>(((b & 0x1F) << 6) | (p[i + 1] & 0x3F));
      i += 2;
    } else if (b < 0xF0) {
      if (b == 0xED && p[i + 1] >= 0xA0) return false;
      *out++ = static_cast<Char>(((b & 0x0F) << 12) | ((p[i + 1] & 0x3F) << 6) | (p[i + 2] & 0x3F));
      i += 3;
    } else {
      *out++ = static_cast<Char>(((b & 0x07) << 18) | ((p[i + 1] & 0x3F) << 12) |
                                 ((p[i + 2] & 0x3F) << 6) | (p[i + 3] & 0x3F));
      i += 4;
    }
  }
  return true;
}

py::Ref interpreter_decode(const char* p, size_t n) {
  return py::Ref::steal(PyUnicode_DecodeUTF8(p, static_cast<Py_ssize_t>(n), "strict"));
}

}  // namespace

py::Ref checked_utf8_str(const char* p, size_t n) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(p);
  const Measure m = measure(bytes, n);
  // A lead byte past F4 is no UTF-8 at all.
  if (m.max_lead > 0xF4) return interpreter_decode(p, n);
  const Py_UCS4 widest = m.max_lead < 0x80   ? 0x7F
                         : m.max_lead < 0xC4 ? 0xFF
                         : m.max_lead < 0xF0 ? 0xFFFF
                                             : 0x10FFFF;
  py::Ref s = py::Ref::steal(PyUnicode_New(static_cast<Py_ssize_t>(m.chars), widest));
  if (!s) return s;
  bool decoded;
  switch (PyUnicode_KIND(s.get())) {
    case PyUnicode_1BYTE_KIND:
      decoded = decode(bytes, n, PyUnicode_1BYTE_DATA(s.get()));
      break;
    case PyUnicode_2BYTE_KIND:
      decoded = decode(bytes, n, PyUnicode_2BYTE_DATA(s.get()));
      break;
    default:
      decoded = decode(bytes, n, PyUnicode_4BYTE_DATA(s.get()));
      break;
  }
  if (!decoded) return interpreter_decode(p, n);
  return s;
}

}  // namespace tarmelix::json
