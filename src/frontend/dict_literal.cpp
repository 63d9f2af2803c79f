#include "frontend/dict_literal.h"

#include <string>
#include <vector>

#include "frontend/frontend.h"
#include "frontend/probes.h"
#include "py/dict_items.h"

namespace tarmelix::frontend {

std::optional<SchemaNode> build_dict_literal(PyObject* dict, ConstantsPool& pool,
                                             DefinitionTable& definitions) {
  std::vector<RecordField> fields;
  std::vector<KeyValueClause> clauses;
  py::DictItems items(dict);
  py::Ref key, value;
  while (items.next(key, value)) {
    if (PyUnicode_Check(key.get())) {
      std::optional<std::string> text = record_key_text(key.get());
      if (!text) return std::nullopt;
      bool required = true;
      if (!text->empty() && text->back() == '?') {
        text->pop_back();
        required = false;
      }
      std::optional<SchemaNode> node = build_schema(value.get(), pool, definitions);
      if (!node) return std::nullopt;
      fields.push_back(RecordField{std::move(*text), std::move(*node), required});
    } else {
      std::optional<SchemaNode> key_node = build_schema(key.get(), pool, definitions);
      if (!key_node) return std::nullopt;
      std::optional<SchemaNode> value_node = build_schema(value.get(), pool, definitions);
      if (!value_node) return std::nullopt;
      clauses.push_back(KeyValueClause{std::move(*key_node), std::move(*value_node)});
    }
  }
  return make_record(std::move(fields), std::move(clauses));
}

}  // namespace tarmelix::frontend
