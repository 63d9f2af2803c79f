#include "json/json_fast.h"

#include <optional>

#include "check/fresh_walk.h"
#include "json/json_driver.h"
#include "json/simd_tape.h"
#include "json/tape_build.h"
#include "py/collector_pause.h"
#include "py/detach.h"
#include "schema/sequence_shape.h"

namespace tarmelix::json {

namespace {

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

// The most the calls since its buffers were made have written into each
// buffer of a kept parser: the pages the thread keeps between calls.
struct TouchedBytes {
  size_t tape = 0;
  size_t indexes = 0;
  size_t strings = 0;
  // The padded copy of a document is kept apart from the other buffers and
  // outlives their reallocation.
  size_t copy = 0;

  size_t total() const { return tape + indexes + strings + copy; }
};

// A parser kept per thread between calls, so a large document's tape and
// indexes reuse pages already faulted in. Safe to share within the thread
// because only schemas whose walk runs our own code take this road, and a
// call nested in a walk (busy) never touches it. Only native memory, so
// destroying it at thread exit needs no interpreter.
struct ThreadParser {
  simdjson::dom::parser parser;
  bool busy = false;
  TouchedBytes kept;
};

ThreadParser& thread_parser() {
  thread_local ThreadParser reused;
  return reused;
}

// What a thread's parser may keep touched between calls, over all its
// buffers whatever mix of documents touched them: past it, the buffers go
// back to the system after the call.
constexpr size_t KEPT_PARSER_BYTES = size_t{64} << 20;

// What one parse of `length` bytes wrote into each buffer, at most. A parse
// that succeeded reports its tape and indexes; one that failed is bounded by
// the length (the tape holds at most a word per byte and a few more, the
// indexes one per byte). Strings take at most five bytes per three of the
// document, the rule the buffer is sized by.
TouchedBytes touched_bytes(const simdjson::dom::parser& parser, size_t length, bool parsed,
                           bool copied) {
  constexpr size_t SLACK = 64;
  TouchedBytes touched;
  if (parsed) {
    const SimdTape tape{parser.doc.tape.get(), parser.doc.string_buf.get()};
    touched.tape = (tape.last() + 1) * 8;
    touched.indexes = (size_t{parser.implementation->n_structural_indexes} + SLACK) * 4;
  } else {
    touched.tape = (length + SLACK) * 8;
    touched.indexes = (length + SLACK) * 4;
  }
  touched.strings = 5 * length / 3 + simdjson::SIMDJSON_PADDING;
  touched.copy = copied ? length + simdjson::SIMDJSON_PADDING : 0;
  return touched;
}

// The parser of one call and its tape: the thread's reused parser, unless
// this call runs inside another's walk or build (a finalizer run by an
// allocation there could check a document too), which parses with one of
// its own. Afterwards adds what the call wrote to what the reused parser
// keeps, and releases its buffers once that passes KEPT_PARSER_BYTES.
// Touches no Python object.
class HeldParser {
 public:
  explicit HeldParser(size_t length)
      : reused_(thread_parser()), length_(length), capacity_(reused_.parser.capacity()) {
    if (reused_.busy) {
      parser_ = &own_.emplace();
    } else {
      parser_ = &reused_.parser;
      reused_.busy = true;
    }
  }
  ~HeldParser() {
    if (parser_ != &reused_.parser) return;
    reused_.busy = false;
    simdjson::dom::parser& parser = reused_.parser;
    TouchedBytes& kept = reused_.kept;
    // A larger document replaced the tape, indexes and strings: only this
    // call has written into the new ones.
    if (parser.capacity() != capacity_) kept.tape = kept.indexes = kept.strings = 0;
    const TouchedBytes now = touched_bytes(parser, length_, parsed_, copied_);
    kept.tape = std::max(kept.tape, now.tape);
    kept.indexes = std::max(kept.indexes, now.indexes);
    kept.strings = std::max(kept.strings, now.strings);
    kept.copy = std::max(kept.copy, now.copy);
    if (kept.total() > KEPT_PARSER_BYTES || parser.capacity() > KEPT_PARSER_BYTES) {
      parser = simdjson::dom::parser();
      kept = TouchedBytes{};
    }
  }
  HeldParser(const HeldParser&) = delete;
  HeldParser& operator=(const HeldParser&) = delete;

  // False where the parser refused the document or could not allocate, and
  // where its tape cannot say the document exactly.
  bool parse(std::string_view bytes) {
    const size_t capacity = std::max(bytes.size(), simdjson::dom::MINIMAL_DOCUMENT_CAPACITY);
    if (parser_->capacity() < capacity &&
        parser_->allocate(capacity, JSON_MAX_DEPTH) != simdjson::SUCCESS) {
      return false;
    }
    // Refuses numbers it cannot hold exactly (integers past 64 bits, floats
    // that overflow), lone surrogates, bad UTF-8 and nesting past the limit.
    copied_ = !padding_readable(bytes);
    if (parser_->parse(bytes.data(), bytes.size(), copied_).error() != simdjson::SUCCESS) {
      return false;
    }
    parsed_ = true;
    tape_ = {parser_->doc.tape.get(), parser_->doc.string_buf.get()};
    return !(minus_zero_reads_as_float() && tape_.may_hold_negative_zero());
  }

  const SimdTape& tape() const { return tape_; }
  // The tape starts with the root word; the value follows it.
  SimdTapeView root() const { return {&tape_, 1}; }

 private:
  // Whether the parser in use reads the literal -0 as the float -0.0, where
  // the event parser (and json.loads) reads the int 0: then a -0.0 on the
  // tape may be either, and only the event parser can say.
  static bool minus_zero_reads_as_float() {
    static const bool reads_float = [] {
      simdjson::dom::parser probe;
      for (std::string_view doc : {std::string_view("-0"), std::string_view("[-0]")}) {
        simdjson::dom::element e;
        if (probe.parse(doc.data(), doc.size()).get(e) != simdjson::SUCCESS) return true;
        if (e.is_array()) {
          for (simdjson::dom::element item : e.get_array()) e = item;
        }
        if (!e.is_int64()) return true;
      }
      return false;
    }();
    return reads_float;
  }

  ThreadParser& reused_;
  std::optional<simdjson::dom::parser> own_;
  simdjson::dom::parser* parser_ = nullptr;
  size_t length_;
  size_t capacity_;
  bool copied_ = false;
  bool parsed_ = false;
  SimdTape tape_{};
};

enum class TapeWalk : uint8_t { Member, NotMember, CannotTell, NeedsInterpreter };

// The walk of a parsed tape against a plan whose walk runs only our own
// code. Detached (the lock let go), a step that needs the interpreter, a
// short stack and a failed allocation give NeedsInterpreter, touching no
// Python object; attached, a fatal exception gives CannotTell, cleared (the
// event parser road meets it again and raises it). A tape word of a type the
// view does not know gives CannotTell either way.
TapeWalk walk_tape(ValidatorCore& core, const WalkPlan* plan, SimdTapeView top, bool detached) {
  if (detached) {
    try {
      WalkState state;
      state.detached = true;
      const WalkContext ctx{&core.constants, &core.definitions, plan, &state, WalkMode::CheckOnly};
      const bool member = walk_impl::walk(core.root, top, ctx);
      if (state.needs_interpreter || state.fatal_error.exception) return TapeWalk::NeedsInterpreter;
      return member ? TapeWalk::Member : TapeWalk::NotMember;
    } catch (const std::bad_alloc&) {
      return TapeWalk::NeedsInterpreter;
    } catch (const UnknownTapeType&) {
      return TapeWalk::CannotTell;
    }
  }
  std::optional<bool> member;
  try {
    member = run_fresh_walk(
        core.constants, core.definitions, plan, WalkMode::CheckOnly,
        [&](const WalkContext& ctx) { return walk_impl::walk(core.root, top, ctx); });
  } catch (const UnknownTapeType&) {
    // The walk stopped midway; the reference road walks the document again.
    PyErr_Clear();
    return TapeWalk::CannotTell;
  }
  if (!member) {
    // The reference road walks the document again and raises for itself.
    PyErr_Clear();
    return TapeWalk::CannotTell;
  }
  return *member ? TapeWalk::Member : TapeWalk::NotMember;
}

// What the explaining walk of a document the tape walk refused reads, and
// what it may step over: along records (whose field names are distinct) and
// lists from the root, each value is walked on the tape again, and only the
// refused ones are built, a record as a dict of every key of its object with
// None for its member fields, a list not at all (its refused items carry
// their values), anything else whole. A member adds no record, so the
// explaining walk over this finds what it finds over the whole value.
// Attached, inside a CheckOnly walk; the collector is paused by the caller.
class RefusedBuild {
 public:
  RefusedBuild(const SimdTape& tape, const FieldNameTable* names, const WalkContext& ctx,
               bool first_only)
      : tape_(tape), names_(names), ctx_(ctx), first_only_(first_only) {}

  struct Built {
    py::Ref value;
    std::unique_ptr<MemberHint> hint;  // null: the value is whole
  };

  // Null value (an error may be set) where it cannot be built or told.
  Built refused(const SchemaNode& node, SimdTapeView view) {
    // The builder needs room for whatever lies below, wherever it starts.
    if (!ctx_.has_stack_room() || !py::stack_has_room(TAPE_BUILD_STACK)) return {};
    const JsonValueKind kind = view.kind();
    if (kind == JsonValueKind::Object && node.kind == NodeKind::Record && !node.fields.empty()) {
      const JsonRecordFacts* planned = json_record_facts(*ctx_.plan, node);
      if (planned && planned->distinct) return record(node, *planned, view);
    } else if (kind == JsonValueKind::Array) {
      if (const SchemaNode* item = schema::list_item_schema(node)) return list(*item, view);
    }
    return {build_from_tape(tape_, view.position(), names_), nullptr};
  }

 private:
  struct Entry {
    SimdTapeView key;
    SimdTapeView value;
    py::Ref built;  // null: None
  };

  Built record(const SchemaNode& node, const JsonRecordFacts& planned, SimdTapeView object) {
    const size_t n = object.size();
    std::vector<Entry> entries;
    entries.reserve(n);
    // Each field's value is its key's last entry, as in the dict.
    std::vector<size_t> last(node.fields.size(), SIZE_MAX);
    std::vector<bool> declared(n, false);
    SimdTapeView at = object.first();
    for (size_t i = 0; i < n; ++i) {
      if (!at.is_string()) unknown_tape_type();
      const SimdTapeView value = at.after_string();
      if (const uint64_t* field = planned.by_text->find(at.str())) {
        last[*field] = i;
        declared[i] = true;
      }
      entries.push_back({at, value, {}});
      at = value.next();
    }
    auto hint = std::make_unique<MemberHint>();
    hint->kind = MemberHint::Kind::Record;
    hint->fields.resize(node.fields.size());
    for (size_t f = 0; f < node.fields.size(); ++f) {
      if (last[f] == SIZE_MAX) continue;
      Entry& entry = entries[last[f]];
      if (walk_impl::walk(node.fields[f].node, entry.value, ctx_)) continue;
      if (ctx_.stopped()) return {};
      Built below = refused(node.fields[f].node, entry.value);
      if (!below.value) return {};
      entry.built = std::move(below.value);
      hint->fields[f] = {false, std::move(below.hint)};
    }
    py::Ref dict = py::Ref::steal(PyDict_New());
    if (!dict) return {};
    for (size_t i = 0; i < n; ++i) {
      Entry& entry = entries[i];
      // A key no field names is walked with its value, whole; an earlier
      // entry of a field's key is overwritten by its last.
      if (!declared[i]) {
        entry.built = build_from_tape(tape_, entry.value.position(), names_);
        if (!entry.built) return {};
      }
      py::Ref key = build_key_from_tape(tape_, entry.key.position(), names_);
      if (!key) return {};
      PyObject* value = entry.built ? entry.built.get() : Py_None;
      if (PyDict_SetItem(dict.get(), key.get(), value) < 0) return {};
    }
    return {std::move(dict), std::move(hint)};
  }

  Built list(const SchemaNode& item, SimdTapeView array) {
    auto hint = std::make_unique<MemberHint>();
    hint->kind = MemberHint::Kind::List;
    const size_t n = array.size();
    SimdTapeView element = array.first();
    for (size_t i = 0; i < n; ++i, element = element.next()) {
      if (walk_impl::walk(item, element, ctx_)) continue;
      if (ctx_.stopped()) return {};
      Built below = refused(item, element);
      if (!below.value) return {};
      hint->items.push_back({i, std::move(below.value), std::move(below.hint)});
      if (first_only_) break;
    }
    return {py::none(), std::move(hint)};
  }

  const SimdTape& tape_;
  const FieldNameTable* names_;
  const WalkContext& ctx_;
  bool first_only_;
};

// The root's RefusedBuild, or a null value (nothing set) where it cannot be
// told; the root's hint is null where the value was built whole.
RefusedBuild::Built build_refused(ValidatorCore& core, const WalkPlan* plan, const SimdTape& tape,
                                  SimdTapeView top, const FieldNameTable* names,
                                  bool first_only) {
  RefusedBuild::Built built;
  std::optional<bool> walked;
  try {
    py::CollectorPaused paused;
    walked = run_fresh_walk(core.constants, core.definitions, plan, WalkMode::CheckOnly,
                            [&](const WalkContext& ctx) {
                              built = RefusedBuild(tape, names, ctx, first_only).refused(core.root,
                                                                                         top);
                              return static_cast<bool>(built.value);
                            });
  } catch (const UnknownTapeType&) {
    walked.reset();
  }
  if (!walked || !*walked) {
    // The whole value's build and walk meet any failure here again.
    PyErr_Clear();
    return {};
  }
  return built;
}

}  // namespace

FastJsonAnswer check_json_fast(ValidatorCore& core, std::string_view bytes) {
  const WalkPlan* plan = core_walk_plan(core);
  const JsonRoad road = choose_json_road(JsonCall::IsValid, plan, bytes);
  if (!road.simd_parse) return FastJsonAnswer::CannotTell;
  HeldParser held(bytes.size());
  // The whole call but its answer runs detached.
  py::Detached off(road.detached);
  if (!held.parse(bytes)) return FastJsonAnswer::CannotTell;
  TapeWalk walked = TapeWalk::NeedsInterpreter;
  if (off.detached()) walked = walk_tape(core, plan, held.root(), true);
  off.reattach();
  if (walked == TapeWalk::NeedsInterpreter) {
    if (!road.tape_walk) return FastJsonAnswer::CannotTell;
    walked = walk_tape(core, plan, held.root(), false);
  }
  switch (walked) {
    case TapeWalk::Member:
      return FastJsonAnswer::Member;
    case TapeWalk::NotMember:
      return FastJsonAnswer::NotMember;
    default:
      return FastJsonAnswer::CannotTell;
  }
}

FastLoad load_json_fast(ValidatorCore& core, JsonCall call, std::string_view bytes,
                        bool first_refusal) {
  const WalkPlan* plan = core_walk_plan(core);
  JsonRoad road = choose_json_road(call, plan, bytes);
  if (!road.simd_parse) return {};
  HeldParser held(bytes.size());
  py::Detached off(road.detached);
  if (!held.parse(bytes)) return {};
  TapeWalk walked = TapeWalk::NeedsInterpreter;
  if (off.detached()) walked = walk_tape(core, plan, held.root(), true);
  off.reattach();
  if (road.tape_walk && walked == TapeWalk::NeedsInterpreter) {
    walked = walk_tape(core, plan, held.root(), false);
  }
  if (road.tape_walk && walked == TapeWalk::CannotTell) return {};
  const bool member = road.tape_walk && walked == TapeWalk::Member;
  const bool refused = road.tape_walk && walked == TapeWalk::NotMember;
  if (member && !road.build_member) return {FastLoadRoad::Member, {}, nullptr};
  if (!py::stack_has_room(TAPE_BUILD_STACK)) return {};
  const FieldNameTable* names = json_field_names(plan);
  if (refused && road.build_refused_parts) {
    RefusedBuild::Built built =
        build_refused(core, plan, held.tape(), held.root(), names, first_refusal);
    if (built.value && built.hint) {
      return {FastLoadRoad::Refused, std::move(built.value), std::move(built.hint)};
    }
    if (built.value) return {FastLoadRoad::NotMember, std::move(built.value), {}};
  }
  py::Ref value = build_from_tape(held.tape(), 1, names);
  if (!value) {
    // The event parser road makes the same objects, and meets the same
    // failure if it lasts (not so a tape type the builder does not know).
    PyErr_Clear();
    return {};
  }
  return {member ? FastLoadRoad::Member : refused ? FastLoadRoad::NotMember : FastLoadRoad::Walk,
          std::move(value), nullptr};
}

}  // namespace tarmelix::json
