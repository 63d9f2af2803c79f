// The SIMD parser's tape as the JSON walk and the tape builder read it.
#pragma once

#include <simdjson.h>

#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <string_view>

#include "json/json_kinds.h"
#include "json/json_plan.h"
#include "json/json_value.h"
#include "json/json_walk_impl.h"

namespace tarmelix::json {

// Thrown by the tape view at a word whose type it does not know (a parser
// newer than this reader may write new ones), before it reads anything else
// of the word: the document is then left to the event parser road.
struct UnknownTapeType {};
[[noreturn, gnu::cold, gnu::noinline]] inline void unknown_tape_type() { throw UnknownTapeType{}; }

// The value kind of each tape type byte; NOT_A_KIND for a byte the reader
// does not know, and for the root and closing words, which are no values.
inline constexpr uint8_t NOT_A_KIND = 0xff;
struct TapeKinds {
  uint8_t of[256];
  constexpr TapeKinds() : of() {
    for (auto& k : of) k = NOT_A_KIND;
    of['n'] = static_cast<uint8_t>(JsonValueKind::Null);
    of['t'] = of['f'] = static_cast<uint8_t>(JsonValueKind::Bool);
    of['l'] = static_cast<uint8_t>(JsonValueKind::Int);
    of['u'] = static_cast<uint8_t>(JsonValueKind::BigInt);
    of['d'] = static_cast<uint8_t>(JsonValueKind::Float);
    of['"'] = static_cast<uint8_t>(JsonValueKind::Str);
    of['['] = static_cast<uint8_t>(JsonValueKind::Array);
    of['{'] = static_cast<uint8_t>(JsonValueKind::Object);
  }
};
inline constexpr TapeKinds TAPE_KINDS{};

// The words from a value's to the next value's: 1, or 2 for a number; JUMP
// for a container, whose word holds the index past its end; NOT_A_STEP for
// a type the reader does not know.
inline constexpr uint8_t JUMP = 0;
inline constexpr uint8_t NOT_A_STEP = 0xff;
struct TapeSteps {
  uint8_t of[256];
  constexpr TapeSteps() : of() {
    for (auto& k : of) k = NOT_A_STEP;
    of['n'] = of['t'] = of['f'] = of['"'] = 1;
    of['l'] = of['u'] = of['d'] = 2;
    of['['] = of['{'] = JUMP;
  }
};
inline constexpr TapeSteps TAPE_STEPS{};

// Each type whose value is a scalar: its kind bit and its words (one for
// null, the bools and a string, two for a number and its payload); bit 0
// for every other type, so a run of scalars stops there.
struct ScalarStep {
  uint8_t bit = 0;
  uint8_t words = 0;
};
struct ScalarSteps {
  ScalarStep of[256];
  constexpr ScalarSteps() : of() {
    of['n'] = {JSON_NULL, 1};
    of['t'] = of['f'] = {JSON_BOOL, 1};
    of['"'] = {JSON_STR, 1};
    of['l'] = of['u'] = {JSON_INT, 2};
    of['d'] = {JSON_FLOAT, 2};
  }
};
inline constexpr ScalarSteps SCALAR_STEPS{};

// The kinds of one word and of two: a mask within one of them steps at a
// stride it knows.
inline constexpr uint8_t ONE_WORD_BITS = JSON_NULL | JSON_BOOL | JSON_STR;
inline constexpr uint8_t TWO_WORD_BITS = JSON_INT | JSON_FLOAT;

// One value of the parser's tape: a word whose top byte names its type, two
// words for numbers, and a container's word holding the tape index just past
// its end and (saturated) its count. The view reads no word as a type it is
// not: its kind, a key's text and a step past it check the type first and
// throw UnknownTapeType at one they do not know.
struct SimdTape {
  const uint64_t* words;
  const uint8_t* strings;

  // The index of the root's closing word, the tape's last.
  size_t last() const { return words[0] & simdjson::internal::JSON_VALUE_MASK; }
  // Whether some value on the tape may be the float -0.0: one is, or past a
  // type the scan does not know, it cannot tell.
  bool may_hold_negative_zero() const {
    const size_t end = last();
    for (size_t at = 1; at < end;) {
      const uint8_t type = static_cast<uint8_t>(words[at] >> 56);
      if (type == 'd' && words[at + 1] == 0x8000000000000000ULL) return true;
      if (TAPE_KINDS.of[type] == NOT_A_KIND && type != ']' && type != '}') return true;
      at += type == 'l' || type == 'u' || type == 'd' ? 2 : 1;
    }
    return false;
  }
};

// The value at the tape's index `at` as the walk converts it, made by the
// tape's builder (json/tape_build.h) where the stack has room for it.
py::Ref convert_from_tape(const SimdTape& tape, size_t at);

// Two words, so a record's field states stay small on the native stack.
class SimdTapeView {
 public:
  SimdTapeView() = default;
  SimdTapeView(const SimdTape* tape, size_t at) : tape_(tape), at_(at) {}

  explicit operator bool() const { return tape_ != nullptr; }
  JsonValueKind kind() const {
    const uint8_t kind = TAPE_KINDS.of[word() >> 56];
    if (kind == NOT_A_KIND) [[unlikely]] unknown_tape_type();
    return static_cast<JsonValueKind>(kind);
  }
  std::string_view str() const {
    const uint8_t* at = tape_->strings + (string_word() & simdjson::internal::JSON_VALUE_MASK);
    uint32_t length;
    std::memcpy(&length, at, sizeof length);
    return {reinterpret_cast<const char*>(at + sizeof length), length};
  }
  // Whether the key's text is the pattern's name. The string buffer keeps
  // far more than the pattern's width of slack past its last string, so the
  // loads stay inside it; the bytes past the text are masked off. A name of
  // up to 12 bytes is compared as two words.
  bool text_is(const JsonKeyPattern& pattern) const {
    const uint8_t* at = tape_->strings + (string_word() & simdjson::internal::JSON_VALUE_MASK);
    if (pattern.width <= 16) return matches_words(at, pattern);
#if defined(__SSE2__)
    const __m128i lo = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
    const __m128i hi = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + 16));
    return matches(lo, hi, pattern);
#else
    return std::memcmp(at, pattern.bytes, pattern.width) == 0;
#endif
  }
  // The position in the set of a string's text, or -1 where it is none of
  // them.
  int text_index(const JsonTextSet& set) const {
    const uint8_t* at = tape_->strings + (string_word() & simdjson::internal::JSON_VALUE_MASK);
    if (!set.wide) {
      for (size_t i = 0; i < set.count; ++i) {
        if (matches_words(at, set.texts[i])) return static_cast<int>(i);
      }
      return -1;
    }
#if defined(__SSE2__)
    const __m128i lo = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
    const __m128i hi = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + 16));
    for (size_t i = 0; i < set.count; ++i) {
      if (matches(lo, hi, set.texts[i])) return static_cast<int>(i);
    }
#else
    for (size_t i = 0; i < set.count; ++i) {
      if (std::memcmp(at, set.texts[i].bytes, set.texts[i].width) == 0) return static_cast<int>(i);
    }
#endif
    return -1;
  }
  // Whether a string's text is one of the set's: its bytes loaded once.
  bool text_in(const JsonTextSet& set) const {
    const uint8_t* at = tape_->strings + (string_word() & simdjson::internal::JSON_VALUE_MASK);
    if (set.short_texts) {
      uint64_t head;
      std::memcpy(&head, at, sizeof head);
      bool found = false;
      for (size_t i = 0; i < set.count; ++i) {
        found |= (head & set.texts[i].masks[0]) == set.texts[i].words[0];
      }
      return found;
    }
    if (set.by_first_word) {
      uint64_t w[2];
      std::memcpy(w, at, sizeof w);
      const uint8_t i = set.by_word[(w[0] * set.multiplier) >> 59];
      if (i == JsonTextSet::NONE) return false;
      const JsonKeyPattern& text = set.texts[i];
      return (w[0] == text.words[0]) & ((w[1] & text.masks[1]) == text.words[1]);
    }
    if (!set.wide) {
      bool found = false;
      for (size_t i = 0; i < set.count; ++i) found |= matches_words(at, set.texts[i]);
      return found;
    }
#if defined(__SSE2__)
    const __m128i lo = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
    const __m128i hi = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + 16));
    for (size_t i = 0; i < set.count; ++i) {
      if (matches(lo, hi, set.texts[i])) return true;
    }
    return false;
#else
    for (size_t i = 0; i < set.count; ++i) {
      if (std::memcmp(at, set.texts[i].bytes, set.texts[i].width) == 0) return true;
    }
    return false;
#endif
  }
  // The type byte of the word, for a reader that dispatches on it itself.
  uint8_t type() const { return static_cast<uint8_t>(word() >> 56); }
  int64_t integer() const { return payload<int64_t>(); }
  uint64_t unsigned_integer() const { return payload<uint64_t>(); }
  bool boolean() const { return (word() >> 56) == 't'; }
  double number() const { return payload<double>(); }
  [[gnu::always_inline]] size_t size() const {
    const size_t count = (word() >> 32) & simdjson::internal::JSON_COUNT_MASK;
    if (count < simdjson::internal::JSON_COUNT_MASK) [[likely]] return count;
    return counted_size();
  }
  SimdTapeView first() const { return {tape_, at_ + 1}; }
  // A container's: the tape index just past its closing word.
  size_t end() const { return static_cast<uint32_t>(word()); }
  // The word after a string's (a key's, or an item's), which the caller
  // has read as one.
  SimdTapeView after_string() const { return {tape_, at_ + 1}; }
  bool is_string() const { return (word() >> 56) == '"'; }
  // Branches the processor predicts run ahead of the loads (a record's
  // fields and most arrays repeat one pattern of kinds); a select would
  // wait for each word in turn.
  SimdTapeView next() const {
    const uint64_t w = word();
    switch (TAPE_STEPS.of[w >> 56]) {
      case 1:
        return {tape_, at_ + 1};
      case 2:
        return {tape_, at_ + 2};
      case JUMP:
        return {tape_, static_cast<uint32_t>(w)};  // the container's end()
      default:
        unknown_tape_type();
    }
  }
  // Steps over scalar values of the kinds `mask` admits, at most `count` of
  // them, and tells how many; stops at the first value of another kind (a
  // container, a type the reader does not know), which the caller reads.
  // Where every admitted kind has one width, four values at a time: their
  // types are read independently, so a run goes at the pace of the loads.
  // Mixed widths (list[int | str]) step one value at a time by the table.
  size_t skip_scalar_run(uint8_t mask, size_t count) {
    size_t k = 0;
    if ((mask & ONE_WORD_BITS) == (mask & JSON_ANY_KIND)) {
      k = skip_run<1>(mask, count);
    } else if ((mask & TWO_WORD_BITS) == (mask & JSON_ANY_KIND)) {
      k = skip_run<2>(mask, count);
    }
    // One at a time by a branch on the width, which the processor predicts
    // and runs ahead on; adding the width would wait for each word in turn.
    const uint64_t* w = tape_->words + at_;
    for (; k < count; ++k) {
      const ScalarStep step = SCALAR_STEPS.of[*w >> 56];
      if ((step.bit & mask) == 0) break;
      if (step.words == 1) {
        asm("" ::: "memory");
        w += 1;
      } else {
        w += 2;
      }
    }
    at_ = static_cast<size_t>(w - tape_->words);
    return k;
  }
  // The same over integers of the int64 range that `admits` (a test of the
  // value, running no Python code) takes.
  template <class Admits>
  size_t skip_int_run(const Admits& admits, size_t count) {
    const uint64_t* w = tape_->words + at_;
    size_t k = 0;
    for (; k + 4 <= count; k += 4, w += 8) {
      const bool all = (w[0] >> 56) == 'l' && (w[2] >> 56) == 'l' && (w[4] >> 56) == 'l' &&
                       (w[6] >> 56) == 'l' && admits(static_cast<int64_t>(w[1])) &&
                       admits(static_cast<int64_t>(w[3])) && admits(static_cast<int64_t>(w[5])) &&
                       admits(static_cast<int64_t>(w[7]));
      if (!all) break;
    }
    at_ += 2 * k;
    return k;
  }
    // The tape word's address: never that of a Python object.
  uint64_t identity() const { return reinterpret_cast<uintptr_t>(tape_->words + at_); }
  // The tape index of the word, as build_from_tape takes it.
  size_t position() const { return at_; }
  py::Ref to_python() const { return convert_from_tape(*tape_, at_); }
  // Only integers above the int64 range, up to 2**64 - 1, reach the tape.
  py::Ref big_to_python() const {
    return py::Ref::steal(PyLong_FromUnsignedLongLong(unsigned_integer()));
  }

 private:
  // Four at a time over values all `Stride` words wide: a type of another
  // width has no bit in `mask` here, or another bit.
  template <size_t Stride>
  size_t skip_run(uint8_t mask, size_t count) {
    const ScalarStep* steps = SCALAR_STEPS.of;
    const uint64_t* w = tape_->words + at_;
    size_t k = 0;
    for (; k + 4 <= count; k += 4, w += 4 * Stride) {
      const bool all = (steps[w[0] >> 56].bit & mask) != 0 &&
                       (steps[w[Stride] >> 56].bit & mask) != 0 &&
                       (steps[w[2 * Stride] >> 56].bit & mask) != 0 &&
                       (steps[w[3 * Stride] >> 56].bit & mask) != 0;
      if (!all) break;
    }
    at_ += Stride * k;
    return k;
  }


  // A pattern of at most 16 bytes against the text at `at`, by two words.
  static bool matches_words(const uint8_t* at, const JsonKeyPattern& pattern) {
    uint64_t w[2];
    std::memcpy(w, at, sizeof w);
    return ((w[0] & pattern.masks[0]) == pattern.words[0]) &
           ((w[1] & pattern.masks[1]) == pattern.words[1]);
  }

  // A saturated count: the children counted.
  [[gnu::noinline]] size_t counted_size() const {
    const size_t end = static_cast<uint32_t>(word()) - 1;
    const bool pairs = kind() == JsonValueKind::Object;
    size_t count = 0;
    for (SimdTapeView child = first(); child.at_ < end; child = child.next()) {
      if (pairs) child = child.next();
      ++count;
    }
    return count;
  }

#if defined(__SSE2__)
  // All-ones for the first `width` of 32 bytes, from this table's middle.
  static const uint8_t* width_mask(uint8_t width) {
    alignas(16) static constexpr uint8_t ONES[2 * JsonKeyPattern::BYTES] = {
        0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff,
        0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff,
        0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff};
    return ONES + JsonKeyPattern::BYTES - width;
  }
  static bool matches(__m128i lo, __m128i hi, const JsonKeyPattern& pattern) {
    const uint8_t* mask = width_mask(pattern.width);
    lo = _mm_and_si128(lo, _mm_loadu_si128(reinterpret_cast<const __m128i*>(mask)));
    hi = _mm_and_si128(hi, _mm_loadu_si128(reinterpret_cast<const __m128i*>(mask + 16)));
    const __m128i eq = _mm_and_si128(
        _mm_cmpeq_epi8(lo, _mm_load_si128(reinterpret_cast<const __m128i*>(pattern.bytes))),
        _mm_cmpeq_epi8(hi, _mm_load_si128(reinterpret_cast<const __m128i*>(pattern.bytes + 16))));
    return _mm_movemask_epi8(eq) == 0xffff;
  }
#endif

  uint64_t word() const { return tape_->words[at_]; }
  // A key's word is read with no kind asked.
  uint64_t string_word() const {
    const uint64_t w = word();
    if ((w >> 56) != '"') [[unlikely]] unknown_tape_type();
    return w;
  }
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
