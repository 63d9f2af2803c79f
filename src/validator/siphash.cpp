#include "validator/siphash.h"

#include <bit>

namespace tarmelix::validator {

namespace {

struct SipState {
  uint64_t v0, v1, v2, v3;

  void round() {
    v0 += v1;
    v1 = std::rotl(v1, 13);
    v1 ^= v0;
    v0 = std::rotl(v0, 32);
    v2 += v3;
    v3 = std::rotl(v3, 16);
    v3 ^= v2;
    v0 += v3;
    v3 = std::rotl(v3, 21);
    v3 ^= v0;
    v2 += v1;
    v1 = std::rotl(v1, 17);
    v1 ^= v2;
    v2 = std::rotl(v2, 32);
  }

  void absorb(uint64_t m) {
    v3 ^= m;
    round();
    v0 ^= m;
  }
};

uint64_t load_le(const unsigned char* p, size_t n) {
  uint64_t value = 0;
  for (size_t i = 0; i < n; ++i) value |= static_cast<uint64_t>(p[i]) << (8 * i);
  return value;
}

}  // namespace

uint64_t siphash13(uint64_t key0, uint64_t key1, std::string_view data) {
  SipState s{key0 ^ 0x736f6d6570736575ULL, key1 ^ 0x646f72616e646f6dULL,
              key0 ^ 0x6c7967656e657261ULL, key1 ^ 0x7465646279746573ULL};
  const auto* bytes = reinterpret_cast<const unsigned char*>(data.data());
  const size_t size = data.size();
  const size_t whole = size - size % 8;
  for (size_t i = 0; i < whole; i += 8) s.absorb(load_le(bytes + i, 8));
  // The last block carries the length's low byte on top of the leftover bytes.
  s.absorb(load_le(bytes + whole, size - whole) | (static_cast<uint64_t>(size & 0xFF) << 56));
  s.v2 ^= 0xFF;
  s.round();
  s.round();
  s.round();
  return s.v0 ^ s.v1 ^ s.v2 ^ s.v3;
}

}  // namespace tarmelix::validator
