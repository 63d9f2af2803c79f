#include "json/string_cache.h"

namespace tarmelix::json {

namespace {

struct CachedText {
  uint64_t hash = 0;
  size_t length = 0;
  py::Ref str;
};

constexpr size_t CACHE_BITS = 12;

// Never freed: releasing its strs would need an interpreter that may be gone.
CachedText* cache_slots() {
  static CachedText* const slots = new CachedText[size_t{1} << CACHE_BITS];
  return slots;
}

}  // namespace

py::Ref cached_ascii_str(const char* p, size_t n, uint64_t hash) {
#ifdef Py_GIL_DISABLED
  // Without the interpreter lock nothing guards the slots.
  (void)hash;
  return ascii_str(p, n);
#else
  py::require_interpreter();
  CachedText& slot = cache_slots()[hash >> (64 - CACHE_BITS)];
  if (slot.hash == hash && slot.length == n && slot.str &&
      std::memcmp(PyUnicode_1BYTE_DATA(slot.str.get()), p, n) == 0) {
    return slot.str;
  }
  py::Ref made = ascii_str(p, n);
  if (made) {
    slot.hash = hash;
    slot.length = n;
    slot.str = made;
  }
  return made;
#endif
}

}  // namespace tarmelix::json
