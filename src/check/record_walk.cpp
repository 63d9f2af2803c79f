#include "check/record_walk.h"

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "check/exception_text.h"
#include "check/hinted_walk.h"
#include "check/quick_test.h"
#include "check/walk.h"
#include "check/walk_plan.h"
#include "py/dict_items.h"
#include "py/error.h"
#include "py/text.h"
#include "render/bounded_repr.h"
#include "render/render.h"

namespace tarmelix::check {

namespace {

// The UTF-8 text of a str key, or empty when it has a lone surrogate or is
// not a str at all; empty with the exception pending when the text could
// not be made (a MemoryError).
std::optional<std::string_view> key_utf8(PyObject* key) {
  if (!PyUnicode_Check(key)) return std::nullopt;
  return py::utf8_view_or_error(key);
}

// The positions of required fields already matched, so a required field is
// counted once even when two distinct keys carry its name (str subclasses
// with their own hash can make a dict hold both).
class SeenPositions {
 public:
  explicit SeenPositions(size_t count) {
    if (count > 64) wide_.assign((count + 63) / 64, 0);
  }
  // True the first time a position is marked.
  bool mark(size_t position) {
    uint64_t& word = wide_.empty() ? narrow_ : wide_[position / 64];
    uint64_t bit = uint64_t{1} << (position % 64);
    if (word & bit) return false;
    word |= bit;
    return true;
  }

 private:
  uint64_t narrow_ = 0;
  std::vector<uint64_t> wide_;
};

}  // namespace

bool record_member(const SchemaNode& node, PyObject* value, const WalkContext& ctx,
                   const PlanRecord* planned) {
  if (!PyDict_Check(value)) return false;
  const RecordIndex* index = planned ? &planned->index : nullptr;
  // Keys written as literals are usually the very names the plan interned,
  // in declared order: one pointer test finds their field. Only an exact
  // dict, and anything else (an equal but distinct str, a subclass) takes
  // the field map.
  const py::Ref* names =
      planned && !planned->names.empty() && PyDict_CheckExact(value) ? planned->names.data()
                                                                     : nullptr;
  const size_t field_count = node.fields.size();
  size_t expected = 0;
  std::optional<RecordIndex> local;
  if (!index && !node.fields.empty()) index = &local.emplace(make_record_index(node.fields));
  size_t required = index ? index->required_count : 0;
  SeenPositions seen(node.fields.size());
  const WalkContext check = ctx.with_mode(WalkMode::CheckOnly);
  const WalkPath no_path;
  ErrorList no_errors;
  py::DictItems items(value);
  PyObject* key;
  PyObject* item;
  while (items.next(key, item)) {
    // Reading a str key's text and hash runs no Python code.
    const uint64_t* position = nullptr;
    uint64_t same_name = 0;
    if (names && expected < field_count && key == names[expected].get()) {
      same_name = expected;
      position = &same_name;
    } else if (index) {
      if (auto text = key_utf8(key)) {
        position = index->field_positions.find(*text, str_hash(key));
      } else if (PyErr_Occurred()) {
        return ctx.fold_pending();
      }
    }
    if (position) {
      expected = *position + 1;
      const RecordField& field = node.fields[*position];
      int scalar = quick_test(field.node, item, ctx.plan);
      if (scalar == 0) return false;
      if (scalar < 0) {
        py::Ref held_key = py::Ref::borrow(key);
        py::Ref held_item = py::Ref::borrow(item);
        if (!walk_value(field.node, item, no_path, check, no_errors)) return false;
      } else if (ctx.stopped()) {
        return false;
      }
      if (field.required && seen.mark(*position) && required > 0) --required;
    } else {
      py::Ref held_key = py::Ref::borrow(key);
      py::Ref held_item = py::Ref::borrow(item);
      if (!match_key_value_clauses(node.clauses, key, item, check)) return false;
    }
  }
  return required == 0;
}

namespace {

// str() of a key as UTF-8, at least its first `max_chars` characters, or
// empty when str() or the conversion fails.
std::optional<std::string> key_str(PyObject* key, size_t max_chars) {
  // str() of an exact tuple or frozenset is its repr, written only as far as
  // needed and with the native stack checked: the interpreter's own would
  // recurse through a deeply nested key unchecked.
  if (PyTuple_CheckExact(key) || PyFrozenSet_CheckExact(key)) {
    std::optional<std::string> text = render::bounded_repr(key, max_chars);
    // As str() raising would be: the key is only named.
    if (!text) PyErr_Clear();
    return text;
  }
  py::Ref text = py::Ref::steal(PyObject_Str(key));
  if (!text) {
    // str() only names the key in a record: whatever it raised, a fallback.
    PyErr_Clear();
    return std::nullopt;
  }
  std::optional<std::string_view> utf8 = py::utf8_view(text.get());
  if (!utf8) return std::nullopt;
  return std::string(*utf8);
}

}  // namespace

bool match_key_value_clauses(const std::vector<KeyValueClause>& clauses, PyObject* key,
                             PyObject* value, const WalkContext& ctx) {
  const WalkContext check = ctx.with_mode(WalkMode::CheckOnly);
  const WalkPath no_path;
  ErrorList no_errors;
  DefinitionMemo& memo = ctx.state->definition_memo;
  const uint64_t entered = memo.entered;
  // A clause of scalar kinds (dict[str, float]) answers by the types alone.
  auto admits = [&](const SchemaNode& node, PyObject* v) {
    const int quick = quick_test(node, v, ctx.plan);
    if (quick >= 0) return quick == 1 && !ctx.stopped();
    return walk_value(node, v, no_path, check, no_errors);
  };
  for (const KeyValueClause& clause : clauses) {
    if (admits(clause.key, key) && admits(clause.value, value)) return true;
    memo.note_repeat(entered);
  }
  return false;
}

void walk_record(const std::vector<RecordField>& fields,
                 const std::vector<KeyValueClause>& clauses, PyObject* value, const WalkPath& path,
                 const WalkContext& ctx, ErrorList& errors, const PlanRecord* planned,
                 const MemberHint* hint) {
  if (!PyDict_Check(value)) {
    errors.push_back(make_error_record("dict_type", "dict", value, path, ctx.got_when));
    return;
  }
  const bool stop_at_first = ctx.mode == WalkMode::StopAtFirst;
  std::optional<RecordIndex> local;
  const RecordIndex& declared = planned ? planned->index : local.emplace(make_record_index(fields));
  // The plan's interned names look up as a fresh str of the same text does.
  const py::Ref* names = planned && !planned->names.empty() ? planned->names.data() : nullptr;
  // Fields that share a name walk one value each in turn.
  const bool names_repeat = declared.field_positions.size() < fields.size();
  DefinitionMemo& memo = ctx.state->definition_memo;

  for (size_t f = 0; f < fields.size(); ++f) {
    const RecordField& field = fields[f];
    py::Ref name = names && names[f]
                       ? names[f]
                       : py::Ref::steal(PyUnicode_FromStringAndSize(
                             field.name.data(), static_cast<Py_ssize_t>(field.name.size())));
    if (!name) {
      // Out of memory: the walk stops and raises the MemoryError.
      store_fatal_exception(py::take_exception(), ctx.state->fatal_error, ctx.state->stop);
      return;
    }
    py::Ref found = py::Ref::borrow(PyDict_GetItemWithError(value, name.get()));
    if (found && hint) {
      const FieldHint& known = hint->fields[f];
      if (!known.member) {
        walk_hinted(field.node, found.get(), known.below.get(), path.key(field.name), ctx, errors);
      }
    } else if (found) {
      const uint64_t entered = memo.entered;
      walk_value(field.node, found.get(), path.key(field.name), ctx, errors);
      if (names_repeat) memo.note_repeat(entered);
    } else if (PyErr_Occurred()) {
      // A key whose __eq__ raises fails the lookup, not the call: dropped,
      // whatever it raised.
      PyErr_Clear();
      errors.push_back(make_error_record("dict_type", "dict", value, path, ctx.got_when));
    } else if (field.required) {
      errors.push_back(make_key_error_record(path, field.name, "missing_key",
                                             "required key " + quote_text(field.name), "missing"));
    }
    if (stop_at_first && !errors.empty()) return;
  }

  py::DictItems items(value);
  PyObject* borrowed_key;
  PyObject* borrowed_item;
  // The field after the last one a key named: keys made from the plan's
  // names (a document's, literals) come in declared order, each the very
  // name object.
  size_t next = 0;
  while (items.next(borrowed_key, borrowed_item)) {
    if (names && next < fields.size() && borrowed_key == names[next].get()) {
      ++next;
      continue;
    }
    py::Ref key = py::Ref::borrow(borrowed_key);
    py::Ref item = py::Ref::borrow(borrowed_item);
    if (auto text = key_utf8(key.get())) {
      if (const uint64_t* position = declared.field_positions.find(*text, str_hash(key.get()))) {
        next = *position + 1;
        continue;
      }
    } else if (PyErr_Occurred()) {
      ctx.fold_pending();
      return;
    }
    if (match_key_value_clauses(clauses, key.get(), item.get(), ctx)) continue;
    if (!clauses.empty()) {
      std::optional<std::string> text = key_str(key.get(), KEY_TEXT_CHARS);
      const std::string key_text =
          text ? truncate_chars(*text, KEY_TEXT_CHARS) : preview_repr(key.get());
      const WalkPath at = path.key(key_text);
      walk_value(clauses.front().key, key.get(), at, ctx, errors);
      walk_value(clauses.front().value, item.get(), at, ctx, errors);
    } else {
      // Named in full.
      std::string text = key_str(key.get(), SIZE_MAX).value_or(std::string());
      errors.push_back(
          make_key_error_record(path, text, "extra_forbidden", "no unexpected key", quote_text(text)));
    }
    if (stop_at_first && !errors.empty()) return;
  }
}

bool walk_record_node(const SchemaNode& node, PyObject* value, const WalkPath& path,
                      const WalkContext& ctx, ErrorList& errors) {
  const PlanRecord* planned = ctx.plan ? ctx.plan->record(node) : nullptr;
  if (record_member(node, value, ctx, planned)) return true;
  if (ctx.records()) {
    walk_record(node.fields, node.clauses, value, path, ctx, errors, planned);
  }
  return false;
}

}  // namespace tarmelix::check
