#include "schema/fxhash.h"

#include <cstring>

namespace tarmelix::schema {

uint64_t fx_hash_bytes(std::string_view bytes) {
  uint64_t h = 0;
  const char* p = bytes.data();
  size_t n = bytes.size();
  while (n >= 8) {
    uint64_t w;
    std::memcpy(&w, p, 8);
    h = fx_add(h, w);
    p += 8;
    n -= 8;
  }
  if (n) {
    uint64_t w = 0;
    std::memcpy(&w, p, n);
    h = fx_add(h, w);
  }
  h = fx_add(h, bytes.size());
  return fx_finish(h);
}

}  // namespace tarmelix::schema
