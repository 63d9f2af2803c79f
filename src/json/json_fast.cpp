#include "json/json_fast.h"

#include <simdjson.h>

#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <optional>

#include "check/fresh_walk.h"
#include "json/json_driver.h"
#include "json/json_walk_impl.h"

namespace tarmelix::json {

namespace {

// Thrown by the tape reader at a word whose type it does not know (a parser
// version newer than the reader may add types), before reading anything else
// of it: check_simd_tape then leaves the document to the event parser road.
struct UnknownTapeType {};
[[noreturn, gnu::cold, gnu::noinline]] void unknown_tape_type() { throw UnknownTapeType{}; }

// The value kind of each tape type byte; NOT_A_KIND for a byte the reader does
// not know, and for the root and closing words, which are never values.
constexpr uint8_t NOT_A_KIND = 0xff;
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
constexpr TapeKinds TAPE_KINDS{};

// The words from a value's to the next value's: 1, or 2 for a number; JUMP
// for a container, whose word holds the index past its end; NOT_A_STEP for a
// type the reader does not know, which takes the step past the tape's end.
constexpr uint8_t JUMP = 0;
constexpr uint8_t NOT_A_STEP = 0xff;
struct TapeSteps {
  uint8_t of[256];
  constexpr TapeSteps() : of() {
    for (auto& k : of) k = NOT_A_STEP;
    of['n'] = of['t'] = of['f'] = of['"'] = 1;
    of['l'] = of['u'] = of['d'] = 2;
    of['['] = of['{'] = JUMP;
  }
};
constexpr TapeSteps TAPE_STEPS{};

// One value of the parser's tape: a word whose top byte names its type, two
// words for numbers, and a container's word holding the tape index just past
// its end and (saturated) its count. No word is read as a type it is not: the
// kind and a key's text check the type first, and a step from a word of a
// type the reader does not know lands on the closing root word, whose every
// read throws.
struct SimdTape {
  const uint64_t* words;
  const uint8_t* strings;
  size_t last;  // the closing root word
};

// Two words, so a record's field slots stay small on the native stack.
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
  // loads stay inside it; the bytes past the text are masked off.
  bool text_is(const check::JsonKeyPattern& pattern) const {
    const uint8_t* at = tape_->strings + (string_word() & simdjson::internal::JSON_VALUE_MASK);
#if defined(__SSE2__)
    alignas(16) static constexpr uint8_t ONES[2 * check::JsonKeyPattern::BYTES] = {
        0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff,
        0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff,
        0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff};
    const uint8_t* mask = ONES + check::JsonKeyPattern::BYTES - pattern.width;
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
  SimdTapeView next() const {
    const uint64_t w = word();
    const uint8_t step = TAPE_STEPS.of[w >> 56];
    const size_t to = step == JUMP ? static_cast<uint32_t>(w) : at_ + step;
    return {tape_, std::min(to, tape_->last)};
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
  // The word of a string: a key's is read with no kind asked.
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

// Whether the parser may read its padding past the end in place: the bytes
// after the document up to the padding lie on the same page, so are mapped.
// The sanitizers see such a read as an overflow, so they always get a copy.
bool padding_readable(std::string_view bytes) {
#if defined(__SANITIZE_ADDRESS__)
  (void)bytes;
  return false;
#else
  constexpr uintptr_t PAGE = 4096;
  const uintptr_t last = reinterpret_cast<uintptr_t>(bytes.data()) + bytes.size() - 1;
  return last / PAGE == (last + simdjson::SIMDJSON_PADDING) / PAGE;
#endif
}

// A parser kept per thread between calls, so a large document's tape and
// indexes reuse pages already faulted in. Safe to share within the thread
// because only schemas whose walk runs our own code take this road, and a
// call nested in a walk (busy) never touches it. Only native memory, so
// destroying it at thread exit needs no interpreter.
struct ThreadParser {
  simdjson::dom::parser parser;
  bool busy = false;
};

ThreadParser& thread_parser() {
  thread_local ThreadParser reused;
  return reused;
}

// What a parser may keep touched between calls: past it, the buffers go
// back to the system after the call.
constexpr size_t KEPT_PARSER_BYTES = size_t{64} << 20;

// The pages a parse touched, at most: tape words, structural indexes, and
// the string buffer and padded copy, each no larger than the document.
size_t touched_bytes(const simdjson::dom::parser& parser, size_t length) {
  const size_t tape_words = parser.doc.tape ? parser.doc.tape[0] & simdjson::internal::JSON_VALUE_MASK : 0;
  const size_t structurals = parser.implementation ? parser.implementation->n_structural_indexes : 0;
  return tape_words * 8 + structurals * 4 + length * 2;
}

// Marks the thread's parser in use for one call, and releases its buffers
// afterwards if that call made them large.
class ParserLease {
 public:
  ParserLease(ThreadParser& reused, bool held, size_t length)
      : reused_(reused), held_(held), length_(length) {
    if (held_) reused_.busy = true;
  }
  ~ParserLease() {
    if (!held_) return;
    reused_.busy = false;
    if (touched_bytes(reused_.parser, length_) > KEPT_PARSER_BYTES ||
        reused_.parser.capacity() > KEPT_PARSER_BYTES) {
      reused_.parser = simdjson::dom::parser();
    }
  }
  ParserLease(const ParserLease&) = delete;
  ParserLease& operator=(const ParserLease&) = delete;

 private:
  ThreadParser& reused_;
  bool held_;
  size_t length_;
};

}  // namespace

FastJsonAnswer check_simd_tape(ValidatorCore& core, const uint64_t* tape, const uint8_t* strings) {
  ensure_walk_plan(core);
  const WalkPlan* plan = core_walk_plan(core);
  if (!plan->json.runs_only_own_code) return FastJsonAnswer::CannotTell;
  // The tape starts with the root word; the value follows it.
  const SimdTape simd{tape, strings, (tape[0] & simdjson::internal::JSON_VALUE_MASK) - 1};
  const SimdTapeView top(&simd, 1);
  std::optional<bool> member;
  try {
    member = run_fresh_walk(
        core.constants, core.definitions, plan, WalkMode::CheckOnly,
        [&](const WalkContext& ctx) { return walk_impl::walk(core.root, top, ctx); });
  } catch (const UnknownTapeType&) {
    // The walk stopped midway; the reference road walks the document again.
    PyErr_Clear();
    return FastJsonAnswer::CannotTell;
  }
  if (!member) {
    // The reference road walks the document again and raises for itself.
    PyErr_Clear();
    return FastJsonAnswer::CannotTell;
  }
  return *member ? FastJsonAnswer::Member : FastJsonAnswer::NotMember;
}

FastJsonAnswer check_json_fast(ValidatorCore& core, std::string_view bytes) {
  if (const WalkPlan* plan = core_walk_plan(core); plan && !plan->json.runs_only_own_code) {
    return FastJsonAnswer::CannotTell;
  }
  // The event parser refuses a byte order mark, which some versions of this
  // parser skip.
  if (bytes.empty() || bytes.starts_with("\xEF\xBB\xBF")) return FastJsonAnswer::CannotTell;

  // The reused parser is free unless this call runs inside another's walk
  // (a finalizer run by an allocation there could check a document too);
  // such a nested call parses with a parser of its own.
  ThreadParser& reused = thread_parser();
  std::optional<simdjson::dom::parser> own;
  simdjson::dom::parser* parser = &reused.parser;
  if (reused.busy) parser = &own.emplace();
  ParserLease lease(reused, parser == &reused.parser, bytes.size());

  const size_t capacity = std::max(bytes.size(), simdjson::dom::MINIMAL_DOCUMENT_CAPACITY);
  if (parser->capacity() < capacity &&
      parser->allocate(capacity, JSON_MAX_DEPTH) != simdjson::SUCCESS) {
    return FastJsonAnswer::CannotTell;
  }
  // Refuses numbers it cannot hold exactly (integers past 64 bits, floats
  // that overflow), lone surrogates, bad UTF-8 and nesting past the limit.
  if (parser->parse(bytes.data(), bytes.size(), !padding_readable(bytes)).error() !=
      simdjson::SUCCESS) {
    return FastJsonAnswer::CannotTell;
  }
  return check_simd_tape(core, parser->doc.tape.get(), parser->doc.string_buf.get());
}

}  // namespace tarmelix::json
