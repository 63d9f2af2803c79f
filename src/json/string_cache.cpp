#include "json/string_cache.h"

#include "check/flat_table.h"

namespace tarmelix::json {

namespace {

struct CachedText {
  uint64_t hash = 0;
  uint32_t length = 0;
  uint32_t misses = 0;  // other texts met in this entry since its last hit
  py::Ref str;
};

// Replacing an entry releases a str that is cold by then, which costs more
// than the lookup: an entry changes hands only after this many misses in a
// row, so values that never repeat (ids, names) leave the cache alone. A
// key takes its entry at once: the keys of one document repeat.
constexpr uint32_t MISSES_BEFORE_REPLACING = 8;

constexpr size_t CACHE_BITS = 12;

// Never freed: releasing its strs would need an interpreter that may be gone.
CachedText* cache_entries() {
  static CachedText* const entries = new CachedText[size_t{1} << CACHE_BITS];
  return entries;
}

}  // namespace

py::Ref cached_ascii_str(const char* p, size_t n, uint64_t hash, bool key) {
#ifdef Py_GIL_DISABLED
  // Without the interpreter lock nothing guards the entries.
  (void)hash;
  (void)key;
  return ascii_str(p, n);
#else
  py::require_interpreter();
  CachedText& entry = cache_entries()[hash >> (64 - CACHE_BITS)];
  if (entry.hash == hash && entry.length == n && entry.str &&
      check::same_bytes(reinterpret_cast<const char*>(PyUnicode_1BYTE_DATA(entry.str.get())), p, n)) {
    entry.misses = 0;
    return entry.str;
  }
  py::Ref made = ascii_str(p, n);
  if (made && (key || !entry.str || ++entry.misses > MISSES_BEFORE_REPLACING)) {
    entry.hash = hash;
    entry.length = static_cast<uint32_t>(n);
    entry.misses = 0;
    entry.str = made;
  }
  return made;
#endif
}

py::Ref json_str(std::string_view text, bool key) {
  // Only a cached text is hashed, by whole words: it is read from a copy.
  if (text.size() > CACHED_TEXT_BYTES) return json_str(text.data(), text.size(), key);
  char padded[CACHED_TEXT_BYTES + 8] = {};
  std::memcpy(padded, text.data(), text.size());
  return json_str(padded, text.size(), key);
}

}  // namespace tarmelix::json
