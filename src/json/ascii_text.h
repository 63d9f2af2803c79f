// Whether a UTF-8 text is all ASCII, read eight bytes at a time: the JSON
// builders copy such text straight into a compact str.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace tarmelix::json {

inline bool is_ascii(const char* p, size_t n) noexcept {
  uint64_t high = 0;
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    uint64_t w;
    std::memcpy(&w, p + i, 8);
    high |= w;
  }
  for (; i < n; ++i) high |= static_cast<unsigned char>(p[i]);
  return (high & 0x8080808080808080ULL) == 0;
}

}  // namespace tarmelix::json
