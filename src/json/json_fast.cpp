#include "json/json_fast.h"

#include <simdjson.h>

#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <optional>

#include "check/fresh_walk.h"
#include "check/slow_paths.h"
#include "json/json_driver.h"
#include "json/json_walk_impl.h"

namespace tarmelix::json {

namespace {

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
constexpr TapeKinds TAPE_KINDS{};

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

JsonRoad choose_json_road(const WalkPlan* plan, std::string_view bytes) {
  if (check::slow_paths_only()) return JsonRoad::Tape;
  if (plan && !plan->runs_only_own_code) return JsonRoad::Tape;
  // The event parser refuses a byte order mark, which some versions of this
  // parser skip.
  if (bytes.empty() || bytes.starts_with("\xEF\xBB\xBF")) return JsonRoad::Tape;
  return JsonRoad::Simd;
}

FastJsonAnswer check_json_fast(ValidatorCore& core, std::string_view bytes) {
  if (choose_json_road(core_walk_plan(core), bytes) != JsonRoad::Simd) {
    return FastJsonAnswer::CannotTell;
  }

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
  const simdjson::dom::document& doc = parser->doc;

  ensure_walk_plan(core);
  const WalkPlan* plan = core_walk_plan(core);
  if (choose_json_road(plan, bytes) != JsonRoad::Simd) return FastJsonAnswer::CannotTell;
  // The tape starts with the root word; the value follows it.
  const SimdTape tape{doc.tape.get(), doc.string_buf.get()};
  const SimdTapeView top(&tape, 1);
  std::optional<bool> member =
      run_fresh_walk(core.constants, core.definitions, plan, WalkMode::CheckOnly,
                     [&](const WalkContext& ctx) { return walk_impl::walk(core.root, top, ctx); });
  if (!member) {
    // The reference road walks the document again and raises for itself.
    PyErr_Clear();
    return FastJsonAnswer::CannotTell;
  }
  return *member ? FastJsonAnswer::Member : FastJsonAnswer::NotMember;
}

}  // namespace tarmelix::json
