// The constants pool: the Python objects a schema names by index, each held
// once with one strong reference, interned by identity.
#pragma once

#include <cstdint>
#include <optional>
#include <unordered_map>
#include <vector>

#include "py/ref.h"
#include "schema/fxhash.h"

namespace tarmelix::schema {

using Constants = std::vector<py::Ref>;

struct ConstantsPool {
  Constants constants;
  std::unordered_map<const void*, uint64_t, FxHasher> identity_index;
};

// Borrowed object in, pool index out; the same object always gets one index.
uint64_t intern_constant(ConstantsPool& pool, PyObject* object);

// Takes the references over and indexes them by identity.
ConstantsPool pool_from_constants(Constants constants);

// Interns an embedded validator's constants in order; entry i of the result
// is the new index of embedded constant i.
std::vector<uint64_t> intern_constants(ConstantsPool& pool, const Constants& embedded);

// New references to the same objects, in the same order.
Constants copy_constants(const Constants& constants);

// Python `a == b` reduced to a boolean; empty with the indicator set when the
// comparison or its truth test raises.
std::optional<bool> objects_equal(PyObject* a, PyObject* b);

}  // namespace tarmelix::schema

// This unit's interface, used unqualified from the other folders.
namespace tarmelix {
using schema::Constants;
using schema::ConstantsPool;
using schema::intern_constant;
using schema::intern_constants;
using schema::pool_from_constants;
using schema::copy_constants;
using schema::objects_equal;
}  // namespace tarmelix
