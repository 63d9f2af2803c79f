// The SIMD parser's tape as the JSON walk and the tape builder read it.
#pragma once

#include <simdjson.h>

#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <string_view>

#include "json/json_plan.h"
#include "json/json_value.h"
#include "json/json_walk_impl.h"

namespace tarmelix::json {

// The value kind of each tape type byte.
struct TapeKinds {
  JsonValueKind of[256];
  constexpr TapeKinds() : of() {
    for (auto& k : of) k = JsonValueKind::Null;
    of['t'] = of['f'] = JsonValueKind::Bool;
    of['l'] = JsonValueKind::Int;
    of['u'] = JsonValueKind::BigInt;
    of['d'] = JsonValueKind::Float;
    of['"'] = JsonValueKind::Str;
    of['['] = JsonValueKind::Array;
    of['{'] = JsonValueKind::Object;
  }
};
inline constexpr TapeKinds TAPE_KINDS{};

// One value of the parser's tape: a word whose top byte names its type, two
// words for numbers, and a container's word holding the tape index just past
// its end and (saturated) its count.
struct SimdTape {
  const uint64_t* words;
  const uint8_t* strings;
};

// Two words, so a record's field slots stay small on the native stack.
class SimdTapeView {
 public:
  SimdTapeView() = default;
  SimdTapeView(const SimdTape* tape, size_t at) : tape_(tape), at_(at) {}

  explicit operator bool() const { return tape_ != nullptr; }
  JsonValueKind kind() const { return TAPE_KINDS.of[word() >> 56]; }
  std::string_view str() const {
    const uint8_t* at = tape_->strings + (word() & simdjson::internal::JSON_VALUE_MASK);
    uint32_t length;
    std::memcpy(&length, at, sizeof length);
    return {reinterpret_cast<const char*>(at + sizeof length), length};
  }
  // Whether the key's text is the pattern's name. The string buffer keeps
  // far more than the pattern's width of slack past its last string, so the
  // loads stay inside it; the bytes past the text are masked off.
  bool text_is(const JsonKeyPattern& pattern) const {
    const uint8_t* at = tape_->strings + (word() & simdjson::internal::JSON_VALUE_MASK);
#if defined(__SSE2__)
    alignas(16) static constexpr uint8_t ONES[2 * JsonKeyPattern::BYTES] = {
        0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff,
        0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff,
        0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff};
    const uint8_t* mask = ONES + JsonKeyPattern::BYTES - pattern.width;
    const __m128i lo = _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(at)),
                                     _mm_loadu_si128(reinterpret_cast<const __m128i*>(mask)));
    const __m128i hi =
        _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(at + 16)),
                      _mm_loadu_si128(reinterpret_cast<const __m128i*>(mask + 16)));
    const __m128i eq = _mm_and_si128(
        _mm_cmpeq_epi8(lo, _mm_load_si128(reinterpret_cast<const __m128i*>(pattern.bytes))),
        _mm_cmpeq_epi8(hi, _mm_load_si128(reinterpret_cast<const __m128i*>(pattern.bytes + 16))));
    return _mm_movemask_epi8(eq) == 0xffff;
#else
    return std::memcmp(at, pattern.bytes, pattern.width) == 0;
#endif
  }
  void prefetch_text() const {
    __builtin_prefetch(tape_->strings + (word() & simdjson::internal::JSON_VALUE_MASK));
  }
  int64_t integer() const { return payload<int64_t>(); }
  bool boolean() const { return (word() >> 56) == 't'; }
  double number() const { return payload<double>(); }
  size_t size() const {
    size_t count = (word() >> 32) & simdjson::internal::JSON_COUNT_MASK;
    if (count < simdjson::internal::JSON_COUNT_MASK) return count;
    // Saturated: count the children.
    const size_t end = static_cast<uint32_t>(word()) - 1;
    const bool pairs = kind() == JsonValueKind::Object;
    count = 0;
    for (SimdTapeView child = first(); child.at_ < end; child = child.next()) {
      if (pairs) child = child.next();
      ++count;
    }
    return count;
  }
  SimdTapeView first() const { return {tape_, at_ + 1}; }
  // Branches the processor predicts run ahead of the loads (a record's
  // fields and most arrays repeat one pattern of kinds); a select would
  // wait for each word in turn.
  SimdTapeView next() const {
    switch (word() >> 56) {
      case '[':
      case '{':
        return {tape_, static_cast<uint32_t>(word())};
      case 'l':
      case 'u':
      case 'd':
        return {tape_, at_ + 2};
      default:
        return {tape_, at_ + 1};
    }
  }
  // The tape word's address: never that of a Python object.
  uint64_t identity() const { return reinterpret_cast<uintptr_t>(tape_->words + at_); }
  py::Ref to_python() const { return walk_impl::to_python(*this); }
  // Only integers above the int64 range, up to 2**64 - 1, reach the tape.
  py::Ref big_to_python() const {
    return py::Ref::steal(PyLong_FromUnsignedLongLong(payload<uint64_t>()));
  }

 private:

  uint64_t word() const { return tape_->words[at_]; }
  template <class T>
  T payload() const {
    T value;
    std::memcpy(&value, tape_->words + at_ + 1, sizeof value);
    return value;
  }

  const SimdTape* tape_ = nullptr;
  size_t at_ = 0;
};
static_assert(sizeof(SimdTapeView) == 16);

}  // namespace tarmelix::json
