#include "json/tape_build.h"

#include <cstring>

#include "json/string_cache.h"
#include "py/collector_pause.h"

namespace tarmelix::json {

namespace {

using simdjson::internal::JSON_COUNT_MASK;
using simdjson::internal::JSON_VALUE_MASK;

class TapeBuilder {
 public:
  TapeBuilder(const SimdTape& tape, const FieldNameTable* names, bool throw_unknown = false)
      : tape_(tape), words_(tape.words), names_(names), throw_unknown_(throw_unknown) {}

  // The value at `at`; `at` moves past it.
  py::Ref value(size_t& at) {
    const uint64_t w = words_[at];
    switch (w >> 56) {
      case '"':
        ++at;
        return text(w);
      case 'l': {
        int64_t i;
        std::memcpy(&i, words_ + at + 1, sizeof i);
        at += 2;
        return py::Ref::steal(PyLong_FromLongLong(i));
      }
      case 'u': {
        uint64_t u;
        std::memcpy(&u, words_ + at + 1, sizeof u);
        at += 2;
        return py::Ref::steal(PyLong_FromUnsignedLongLong(u));
      }
      case 'd': {
        double d;
        std::memcpy(&d, words_ + at + 1, sizeof d);
        at += 2;
        return py::Ref::steal(PyFloat_FromDouble(d));
      }
      case 't':
        ++at;
        return py::boolean(true);
      case 'f':
        ++at;
        return py::boolean(false);
      case '[':
        return list(at, w);
      case '{':
        return dict(at, w);
      case 'n':
        ++at;
        return py::none();
      default:
        return unknown_type();
    }
  }

  py::Ref key(size_t at) {
    const uint64_t k = words_[at];
    if ((k >> 56) != '"') return unknown_type();
    uint32_t expected = FieldNameTable::NO_ENTRY;
    return key_text(k, expected);
  }

  py::Ref unknown_type() const {
    if (throw_unknown_) unknown_tape_type();
    return unknown_type_error();
  }
  static py::Ref unknown_type_error() {
    PyErr_SetString(PyExc_ValueError, "a JSON tape word of a type the builder does not know");
    return {};
  }

 private:
  size_t count(size_t at) const { return SimdTapeView(&tape_, at).size(); }

  static const char* text_at(const uint8_t* at, size_t& n) {
    uint32_t length;
    std::memcpy(&length, at, sizeof length);
    n = length;
    return reinterpret_cast<const char*>(at + sizeof length);
  }

  // The parser checked the UTF-8, and its string buffer keeps slack past
  // every text. (With the fast roads off no document reaches this builder.)
  py::Ref text(uint64_t w) {
    size_t n;
    const char* p = text_at(tape_.strings + (w & JSON_VALUE_MASK), n);
    return json_str(p, n, false);
  }

  // A key; `expected` is the entry of the field name it is likely to be (the
  // one after the dict's previous key in its record), updated for the next.
  py::Ref key_text(uint64_t w, uint32_t& expected) {
    size_t n;
    const char* p = text_at(tape_.strings + (w & JSON_VALUE_MASK), n);
    if (n > CACHED_TEXT_BYTES) {
      expected = FieldNameTable::NO_ENTRY;
      return json_str(p, n, true);
    }
    if (names_) {
      FieldNameTable::Found found = names_->expected(expected, p, n);
      if (found.name) {
        expected = found.next;
        return py::Ref::borrow(found.name);
      }
    }
    const uint64_t hash = short_text_hash(p, n);
    if (names_) {
      FieldNameTable::Found found = names_->find(p, n, hash);
      expected = found.next;
      if (found.name) return py::Ref::borrow(found.name);
    }
    return json_str(p, n, true, &hash);
  }

  py::Ref list(size_t& at, uint64_t w) {
    const size_t end = static_cast<uint32_t>(w);
    size_t n = (w >> 32) & JSON_COUNT_MASK;
    if (n == JSON_COUNT_MASK) n = count(at);
    // No collection runs during the build (below), so no finalizer can
    // reach the list before every item is set.
    py::Ref made = py::Ref::steal(PyList_New(static_cast<Py_ssize_t>(n)));
    if (!made) return {};
    ++at;
    for (size_t i = 0; i < n; ++i) {
      py::Ref item = value(at);
      if (!item) return {};
      PyList_SET_ITEM(made.get(), static_cast<Py_ssize_t>(i), item.release());
    }
    at = end;
    return made;
  }

  py::Ref dict(size_t& at, uint64_t w) {
    const size_t end = static_cast<uint32_t>(w);
    size_t n = (w >> 32) & JSON_COUNT_MASK;
    if (n == JSON_COUNT_MASK) n = count(at);
    py::Ref made = py::Ref::steal(_PyDict_NewPresized(static_cast<Py_ssize_t>(n)));
    if (!made) return {};
    ++at;
    uint32_t expected = FieldNameTable::NO_ENTRY;
    // In document order: a repeated key keeps its first position and takes
    // its last value.
    for (size_t i = 0; i < n; ++i) {
      const uint64_t k = words_[at++];
      if ((k >> 56) != '"') return unknown_type();
      py::Ref key = key_text(k, expected);
      if (!key) return {};
      py::Ref item = value(at);
      if (!item || PyDict_SetItem(made.get(), key.get(), item.get()) < 0) return {};
    }
    at = end;
    return made;
  }

  const SimdTape& tape_;
  const uint64_t* words_;
  const FieldNameTable* names_;
  bool throw_unknown_;
};

}  // namespace

py::Ref build_from_tape(const SimdTape& tape, size_t at, const FieldNameTable* names) {
  py::require_interpreter();
  // The build makes only acyclic containers and calls no Python code.
  py::CollectorPaused paused;
  TapeBuilder builder(tape, names);
  try {
    return builder.value(at);
  } catch (const UnknownTapeType&) {
    // Counting a saturated container's children met it.
    return TapeBuilder::unknown_type_error();
  }
}

py::Ref convert_from_tape(const SimdTape& tape, size_t at) {
  if (!py::stack_has_room(TAPE_BUILD_STACK)) return walk_impl::to_python(SimdTapeView(&tape, at));
  py::CollectorPaused paused;
  return TapeBuilder(tape, nullptr, true).value(at);
}

py::Ref build_key_from_tape(const SimdTape& tape, size_t at, const FieldNameTable* names) {
  py::require_interpreter();
  return TapeBuilder(tape, names).key(at);
}

}  // namespace tarmelix::json
