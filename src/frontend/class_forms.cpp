#include "frontend/class_forms.h"

#include <string>
#include <vector>

#include "frontend/frontend.h"
#include "frontend/probes.h"
#include "py/dict_items.h"

namespace tarmelix::frontend {

namespace {

// The hints of `cls`, which must be a dict; null with the error set.
py::Ref fetch_hints(PyObject* cls) {
  py::Ref hints = get_type_hints_with_extras(cls);
  if (!hints) return {};
  if (!PyDict_Check(hints.get())) {
    not_instance_error(hints.get(), "dict");
    return {};
  }
  return hints;
}

std::optional<std::string> field_name(PyObject* key) {
  py::Ref text = py::Ref::steal(PyObject_Str(key));
  if (!text) return std::nullopt;
  return record_key_text(text.get());
}

// A field for each entry of the hints, in order, its node built from the
// hint; `required(key)` answers 1, 0, or -1 with the error set.
template <class Required>
std::optional<std::vector<RecordField>> hint_fields(PyObject* hints, ConstantsPool& pool,
                                                    DefinitionTable& definitions,
                                                    Required required) {
  std::vector<RecordField> fields;
  py::DictItems items(hints);
  py::Ref key, hint;
  while (items.next(key, hint)) {
    std::optional<std::string> name = field_name(key.get());
    if (!name) return std::nullopt;
    std::optional<SchemaNode> node = build_schema(hint.get(), pool, definitions);
    if (!node) return std::nullopt;
    const int is_required = required(key.get());
    if (is_required < 0) return std::nullopt;
    fields.push_back(RecordField{std::move(*name), std::move(*node), is_required == 1});
  }
  return fields;
}

}  // namespace

py::Ref get_type_hints_with_extras(PyObject* cls) {
  py::Ref kwargs = py::Ref::steal(PyDict_New());
  if (!kwargs || PyDict_SetItemString(kwargs.get(), "include_extras", Py_True) < 0) return {};
  py::Ref typing = import_module(Name::Typing);
  if (!typing) return {};
  py::Ref function = read_attribute(typing.get(), Name::GetTypeHints);
  if (!function) return {};
  PyObject* args[1] = {cls};
  return py::Ref::steal(PyObject_VectorcallDict(function.get(), args, 1, kwargs.get()));
}

std::optional<SchemaNode> build_class_fields(PyObject* cls, ConstantsPool& pool,
                                             DefinitionTable& definitions) {
  py::Ref hints = fetch_hints(cls);
  if (!hints) return std::nullopt;
  const uint64_t class_index = intern_constant(pool, cls);
  std::optional<std::vector<RecordField>> fields =
      hint_fields(hints.get(), pool, definitions, [](PyObject*) { return 1; });
  if (!fields) return std::nullopt;
  return make_object(class_index, std::move(*fields));
}

std::optional<SchemaNode> build_typed_dict(PyObject* cls, ConstantsPool& pool,
                                           DefinitionTable& definitions) {
  py::Ref hints = fetch_hints(cls);
  if (!hints) return std::nullopt;
  py::Ref required_keys = read_attribute(cls, Name::RequiredKeys);
  if (!required_keys) return std::nullopt;
  std::optional<std::vector<RecordField>> fields =
      hint_fields(hints.get(), pool, definitions, [&required_keys](PyObject* key) {
        return PySequence_Contains(required_keys.get(), key);
      });
  if (!fields) return std::nullopt;
  return make_record(std::move(*fields), {});
}

}  // namespace tarmelix::frontend
