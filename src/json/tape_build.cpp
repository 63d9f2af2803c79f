#include "json/tape_build.h"

#include "json/string_cache.h"
#include "py/collector_pause.h"

namespace tarmelix::json {

namespace {

// Reads the tape only through SimdTapeView, at indices it steps itself.
class TapeBuilder {
 public:
  TapeBuilder(const SimdTape& tape, const FieldNameTable* names, bool throw_unknown = false)
      : tape_(tape), names_(names), throw_unknown_(throw_unknown) {}

  // The value at `at`; `at` moves past it.
  py::Ref value(size_t& at) {
    const SimdTapeView v(&tape_, at);
    switch (v.type()) {
      case '"':
        ++at;
        return text(v);
      case 'l':
        at += 2;
        return py::Ref::steal(PyLong_FromLongLong(v.integer()));
      case 'u':
        at += 2;
        return py::Ref::steal(PyLong_FromUnsignedLongLong(v.unsigned_integer()));
      case 'd':
        at += 2;
        return py::Ref::steal(PyFloat_FromDouble(v.number()));
      case 't':
        ++at;
        return py::boolean(true);
      case 'f':
        ++at;
        return py::boolean(false);
      case '[':
        return list(at, v);
      case '{':
        return dict(at, v);
      case 'n':
        ++at;
        return py::none();
      default:
        return unknown_type();
    }
  }

  py::Ref key(size_t at) {
    const SimdTapeView k(&tape_, at);
    if (!k.is_string()) return unknown_type();
    uint32_t expected = FieldNameTable::NO_ENTRY;
    return key_text(k.str(), expected);
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
  // The parser checked the UTF-8, and its string buffer keeps slack past
  // every text. (With the fast roads off no document reaches this builder.)
  static py::Ref text(SimdTapeView v) {
    const std::string_view s = v.str();
    return json_str(s.data(), s.size(), false);
  }

  // A key; `expected` is the entry of the field name it is likely to be (the
  // one after the dict's previous key in its record), updated for the next.
  py::Ref key_text(std::string_view s, uint32_t& expected) {
    const char* p = s.data();
    const size_t n = s.size();
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

  py::Ref list(size_t& at, SimdTapeView v) {
    const size_t end = v.end();
    const size_t n = v.size();
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

  py::Ref dict(size_t& at, SimdTapeView v) {
    const size_t end = v.end();
    const size_t n = v.size();
    py::Ref made = py::Ref::steal(_PyDict_NewPresized(static_cast<Py_ssize_t>(n)));
    if (!made) return {};
    ++at;
    uint32_t expected = FieldNameTable::NO_ENTRY;
    // In document order: a repeated key keeps its first position and takes
    // its last value.
    for (size_t i = 0; i < n; ++i) {
      const SimdTapeView k(&tape_, at++);
      if (!k.is_string()) return unknown_type();
      py::Ref key = key_text(k.str(), expected);
      if (!key) return {};
      py::Ref item = value(at);
      if (!item || PyDict_SetItem(made.get(), key.get(), item.get()) < 0) return {};
    }
    at = end;
    return made;
  }

  const SimdTape& tape_;
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
