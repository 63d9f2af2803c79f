#include "validator/identity.h"

#include <array>

#include "py/args.h"
#include "py/error.h"
#include "py/trap.h"
#include "render/render.h"
#include "schema/order.h"
#include "validator/entry.h"
#include "validator/siphash.h"

namespace tarmelix::validator {

namespace {

bool same_structure(const ValidatorCore& a, const ValidatorCore& b) {
  if (!same_node(a.root, b.root)) return false;
  if (a.definitions.size() != b.definitions.size()) return false;
  for (size_t i = 0; i < a.definitions.size(); ++i) {
    if (!same_node(a.definitions[i], b.definitions[i])) return false;
  }
  return true;
}

// Pairwise Python equality of the pools; an exception of any kind counts as
// unequal and is discarded.
bool same_constants(const Constants& a, const Constants& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i].get() == b[i].get()) continue;
    std::optional<bool> equal = objects_equal(a[i].get(), b[i].get());
    if (!equal) {
      PyErr_Clear();  // == of validators never raises
      return false;
    }
    if (!*equal) return false;
  }
  return true;
}

py::Ref validators_equal(PyObject* self, PyObject* other) {
  const ValidatorCore* theirs = extract_validator_core(other);
  if (!theirs) return py::boolean(false);
  const ValidatorCore& mine = core_of(self);
  return py::boolean(same_structure(mine, *theirs) &&
                     same_constants(mine.constants, theirs->constants));
}

py::Ref validators_differ(PyObject* self, PyObject* other) {
  // Through the interpreter, so a reflected __eq__ of `other` takes part.
  py::Ref equal = py::Ref::steal(PyObject_RichCompare(self, other, Py_EQ));
  if (!equal) return {};
  int truth = PyObject_IsTrue(equal.get());
  if (truth < 0) return {};
  return py::boolean(truth == 0);
}

py::Ref clone_validator(PyObject* self) {
  // The copy constructor shares the constants and deep-copies the trees.
  return new_validator_object(ValidatorCore(core_of(self)));
}

}  // namespace

Py_hash_t hash_core(const ValidatorCore& core) {
  HashSink sink;
  hash_node(core.root, sink);
  hash_u64(core.definitions.size(), sink);
  for (const SchemaNode& d : core.definitions) hash_node(d, sink);
  auto hash = static_cast<Py_hash_t>(siphash13(0, 0, sink));
  return hash == -1 ? -2 : hash;
}

PyObject* validator_repr(PyObject* self) noexcept {
  return py::trap_object([&] {
    const ValidatorCore& core = core_of(self);
    std::string text = render_node(core.root, core.constants, core.definitions);
    // Null with the interpreter's MemoryError when the str cannot be made.
    return py::Ref::steal(
        PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size())));
  });
}

Py_hash_t validator_hash(PyObject* self) noexcept {
  return py::trap_value<Py_hash_t>(-1, [&] { return hash_core(core_of(self)); });
}

PyObject* validator_richcompare(PyObject* self, PyObject* other, int op) noexcept {
  return py::trap_object([&]() -> py::Ref {
    switch (op) {
      case Py_EQ:
        return validators_equal(self, other);
      case Py_NE:
        return validators_differ(self, other);
      default:
        return py::Ref::borrow(Py_NotImplemented);
    }
  });
}

py::Ref copy_method(PyObject* self) { return clone_validator(self); }

py::Ref deepcopy_method(PyObject* self, PyObject* const* args, Py_ssize_t nargsf,
                        PyObject* kwnames) {
  static constexpr std::array<const char*, 1> positional = {"_memo"};
  static constexpr py::FunctionDesc desc{"Validator.__deepcopy__()", positional, {}};
  py::ParsedArgs parsed;
  if (!py::parse_fastcall(desc, args, nargsf, kwnames, parsed)) return {};
  // The memo is neither read nor updated: a validator is immutable.
  return clone_validator(self);
}

}  // namespace tarmelix::validator
