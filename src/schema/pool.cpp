#include "schema/pool.h"

namespace tarmelix::schema {

uint64_t intern_constant(ConstantsPool& pool, PyObject* object) {
  auto found = pool.identity_index.find(object);
  if (found != pool.identity_index.end()) return found->second;
  uint64_t index = pool.constants.size();
  pool.constants.push_back(py::Ref::borrow(object));
  pool.identity_index.emplace(object, index);
  return index;
}

ConstantsPool pool_from_constants(Constants constants) {
  ConstantsPool pool;
  pool.constants = std::move(constants);
  pool.identity_index.reserve(pool.constants.size());
  for (uint64_t i = 0; i < pool.constants.size(); ++i)
    pool.identity_index.emplace(pool.constants[i].get(), i);
  return pool;
}

std::vector<uint64_t> intern_constants(ConstantsPool& pool, const Constants& embedded) {
  std::vector<uint64_t> table;
  table.reserve(embedded.size());
  for (const py::Ref& obj : embedded) table.push_back(intern_constant(pool, obj.get()));
  return table;
}

Constants copy_constants(const Constants& constants) { return constants; }

std::optional<bool> objects_equal(PyObject* a, PyObject* b) {
  py::Ref result = py::Ref::steal(PyObject_RichCompare(a, b, Py_EQ));
  if (!result) return std::nullopt;
  int truth = PyObject_IsTrue(result.get());
  if (truth < 0) return std::nullopt;
  return truth != 0;
}

}  // namespace tarmelix::schema
