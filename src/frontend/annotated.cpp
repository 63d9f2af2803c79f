#include "frontend/annotated.h"

#include <string>
#include <vector>

#include "frontend/frontend.h"
#include "frontend/probes.h"
#include "py/text.h"
#include "render/render.h"
#include "schema/full_match.h"

namespace tarmelix::frontend {

namespace {

enum class Step { Next, Finished, Failed };

// A `pattern` that is a str compiles or fails construction; anything else
// (absent, not a str, a lone surrogate) lets the other attributes count.
Step read_pattern(PyObject* m, std::vector<Constraint>& out) {
  py::Ref pattern = read_attribute_or_absent(m, Name::Pattern);
  if (!pattern || !PyUnicode_Check(pattern.get())) return Step::Next;
  std::optional<std::string_view> utf8 = py::utf8_view_or_error(pattern.get());
  if (!utf8) return PyErr_Occurred() ? Step::Failed : Step::Next;
  std::string text(*utf8);
  if (std::optional<std::string> error = full_match_pattern_error(text)) {
    // The library's text may hold a NUL or a cut UTF-8 sequence of the pattern.
    std::string message = "invalid regular expression " + quote_text(text) + ": " + *error;
    py::Ref value = py::Ref::steal(PyUnicode_DecodeUTF8(
        message.data(), static_cast<Py_ssize_t>(message.size()), "replace"));
    if (value) PyErr_SetObject(PyExc_ValueError, value.get());
    return Step::Failed;
  }
  out.push_back(Constraint::regex(std::move(text)));
  return Step::Finished;
}

void read_bounds(PyObject* m, ConstantsPool& pool, std::vector<Constraint>& out) {
  static constexpr std::pair<Name, ConstraintKind> bounds[] = {
      {Name::Ge, ConstraintKind::Ge},
      {Name::Gt, ConstraintKind::Gt},
      {Name::Le, ConstraintKind::Le},
      {Name::Lt, ConstraintKind::Lt},
  };
  for (const auto& [name, kind] : bounds) {
    py::Ref bound = read_attribute_or_absent(m, name);
    if (!bound || bound.get() == Py_None) continue;
    out.push_back(Constraint::with_value(kind, intern_constant(pool, bound.get())));
  }
}

// A length that converts to an unsigned 64-bit integer; everything else
// (None, negative, too large, float, ...) is skipped, and so is a conversion
// that raises, whatever it raised: metadata is read leniently throughout.
void read_length(PyObject* m, Name name, ConstraintKind kind, std::vector<Constraint>& out) {
  py::Ref value = read_attribute_or_absent(m, name);
  if (!value || value.get() == Py_None) return;
  py::Ref number = PyLong_Check(value.get()) ? value : py::Ref::steal(PyNumber_Index(value.get()));
  if (!number) {
    PyErr_Clear();  // skipped, as a length that does not convert
    return;
  }
  unsigned long long length = PyLong_AsUnsignedLongLong(number.get());
  if (length == static_cast<unsigned long long>(-1) && PyErr_Occurred()) {
    PyErr_Clear();  // negative or past 64 bits: skipped
    return;
  }
  out.push_back(Constraint::with_value(kind, static_cast<uint64_t>(length)));
}

// A divisor equal to zero fails construction; one whose comparison raises is
// kept, since only a proven zero is refused (the exception, whatever it is,
// is dropped).
bool read_multiple_of(PyObject* m, ConstantsPool& pool, std::vector<Constraint>& out) {
  py::Ref divisor = read_attribute_or_absent(m, Name::MultipleOf);
  if (!divisor || divisor.get() == Py_None) return true;
  py::Ref zero = py::Ref::steal(PyLong_FromLong(0));
  if (!zero) return false;
  py::Ref equal = py::Ref::steal(PyObject_RichCompare(divisor.get(), zero.get(), Py_EQ));
  int truth = equal ? PyObject_IsTrue(equal.get()) : -1;
  if (truth < 0) PyErr_Clear();  // not a proven zero
  if (truth == 1) {
    PyErr_SetString(PyExc_ValueError,
                    "MultipleOf(0) is not a valid constraint: no value is a multiple of zero. "
                    "Use a nonzero divisor.");
    return false;
  }
  out.push_back(Constraint::with_value(ConstraintKind::MultipleOf,
                                       intern_constant(pool, divisor.get())));
  return true;
}

void read_predicate(PyObject* m, ConstantsPool& pool, std::vector<Constraint>& out) {
  py::Ref func = read_attribute_or_absent(m, Name::Func);
  PyObject* predicate = nullptr;
  if (func && PyCallable_Check(func.get()))
    predicate = func.get();
  else if (PyCallable_Check(m))
    predicate = m;
  if (predicate)
    out.push_back(Constraint::with_value(ConstraintKind::Predicate, intern_constant(pool, predicate)));
}

// All constraints of one metadata object, in attribute order; false with the
// error set on an invalid pattern or a zero divisor.
bool read_metadata(PyObject* m, ConstantsPool& pool, std::vector<Constraint>& out) {
  switch (read_pattern(m, out)) {
    case Step::Failed:
      return false;
    case Step::Finished:
      return true;
    case Step::Next:
      break;
  }
  read_bounds(m, pool, out);
  read_length(m, Name::MinLength, ConstraintKind::MinLen, out);
  read_length(m, Name::MaxLength, ConstraintKind::MaxLen, out);
  if (!read_multiple_of(m, pool, out)) return false;
  read_predicate(m, pool, out);
  return true;
}

}  // namespace

std::optional<SchemaNode> build_annotated(PyObject* origin, PyObject* metadata,
                                          ConstantsPool& pool, DefinitionTable& definitions) {
  std::optional<SchemaNode> base = build_schema(origin, pool, definitions);
  if (!base) return std::nullopt;
  py::Ref items = py::Ref::borrow(metadata);
  std::vector<Constraint> constraints;
  for (Py_ssize_t i = 0; i < PyTuple_GET_SIZE(items.get()); ++i) {
    py::Ref m = py::Ref::borrow(PyTuple_GET_ITEM(items.get(), i));
    if (!read_metadata(m.get(), pool, constraints)) return std::nullopt;
  }
  if (constraints.empty()) return base;
  return make_constrained(std::move(*base), std::move(constraints));
}

}  // namespace tarmelix::frontend
