#include "json/json_plan.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <span>

#include "py/exact_scalar.h"
#include "py/text.h"
#include "json/string_cache.h"
#include "schema/sequence_shape.h"

namespace tarmelix::json {

uint32_t FieldNameTable::find_entry(const char* p, size_t n, uint64_t hash) const {
  const size_t mask = entries_.size() - 1;
  for (size_t i = hash & mask;; i = (i + 1) & mask) {
    const Entry& s = entries_[i];
    if (!s.name) return NO_ENTRY;
    if (s.hash == hash && s.length == n && check::same_bytes(bytes_.data() + s.offset, p, n)) {
      return static_cast<uint32_t>(i);
    }
  }
}

void FieldNameTable::build(const std::vector<std::pair<std::string_view, PyObject*>>& names,
                           const std::vector<bool>& follows) {
  size_t size = 4;
  while (size < 2 * names.size()) size *= 2;
  entries_.assign(size, Entry{});
  uint32_t previous = NO_ENTRY;
  for (size_t k = 0; k < names.size(); ++k) {
    const auto& [text, name] = names[k];
    // The hash reads past the text's end.
    char padded[CACHED_TEXT_BYTES + 8] = {};
    std::memcpy(padded, text.data(), text.size());
    const uint64_t hash = short_text_hash(padded, text.size());
    uint32_t at = find_entry(padded, text.size(), hash);
    if (at == NO_ENTRY) {
      size_t i = hash & (size - 1);
      while (entries_[i].name) i = (i + 1) & (size - 1);
      entries_[i] = {hash, name, static_cast<uint32_t>(bytes_.size()),
                   static_cast<uint32_t>(text.size()), NO_ENTRY};
      bytes_.append(text);
      at = static_cast<uint32_t>(i);
    }
    // A name in several records expects what follows it in the first.
    if (follows[k] && previous != NO_ENTRY && entries_[previous].next == NO_ENTRY) {
      entries_[previous].next = at;
    }
    previous = at;
  }
}

JsonKeyPattern make_key_pattern(std::string_view name) {
  JsonKeyPattern key;
  const uint32_t length = static_cast<uint32_t>(name.size());
  if (name.size() > JsonKeyPattern::BYTES - sizeof length) return key;
  std::memcpy(key.bytes, &length, sizeof length);
  std::memcpy(key.bytes + sizeof length, name.data(), name.size());
  key.width = static_cast<uint8_t>(sizeof length + name.size());
  std::memcpy(key.words, key.bytes, sizeof key.words);
  for (size_t i = 0; i < 2; ++i) {
    const size_t counted = std::min<size_t>(8, key.width > 8 * i ? key.width - 8 * i : 0);
    key.masks[i] = counted == 8 ? ~uint64_t{0} : (uint64_t{1} << (8 * counted)) - 1;
  }
  return key;
}

JsonRanges make_ranges(const SchemaNode& node, const check::PlanBounds& natives) {
  using check::NativeBound;
  JsonRanges r;
  r.ints = r.floats = r.texts = true;
  // Beyond this an int64 bound is no longer exact as a double.
  constexpr int64_t EXACT_IN_DOUBLE = int64_t{1} << 53;
  auto no_ints = [&] { r.int_lo = 1, r.int_hi = 0; };
  auto no_floats = [&] { r.float_lo = std::nan(""); };
  auto no_texts = [&] { r.length_lo = 1, r.length_hi = 0; };
  for (size_t i = 0; i < node.constraints.size() && i < natives.bounds.size(); ++i) {
    const Constraint& c = node.constraints[i];
    const NativeBound& b = natives.bounds[i];
    switch (c.kind) {
      case ConstraintKind::Ge:
      case ConstraintKind::Gt:
      case ConstraintKind::Le:
      case ConstraintKind::Lt: {
        const bool lower = c.kind == ConstraintKind::Ge || c.kind == ConstraintKind::Gt;
        const bool open = c.kind == ConstraintKind::Gt || c.kind == ConstraintKind::Lt;
        // A text orders with no number.
        no_texts();
        switch (b.type) {
          case NativeBound::Type::Int: {
            if (lower) {
              if (open && b.integer == INT64_MAX) no_ints();
              else r.int_lo = std::max(r.int_lo, open ? b.integer + 1 : b.integer);
            } else {
              if (open && b.integer == INT64_MIN) no_ints();
              else r.int_hi = std::min(r.int_hi, open ? b.integer - 1 : b.integer);
            }
            if (b.integer > EXACT_IN_DOUBLE || b.integer < -EXACT_IN_DOUBLE) {
              r.floats = false;
              break;
            }
            [[fallthrough]];
          }
          case NativeBound::Type::Float: {
            if (b.type == NativeBound::Type::Float) r.ints = false;
            const double x = b.type == NativeBound::Type::Float ? b.number
                                                                 : static_cast<double>(b.integer);
            if (std::isnan(x)) {
              no_floats();
            } else if (lower) {
              if (x > r.float_lo || (x == r.float_lo && open)) r.float_lo = x, r.float_lo_open = open;
            } else {
              if (x < r.float_hi || (x == r.float_hi && open)) r.float_hi = x, r.float_hi_open = open;
            }
            break;
          }
          case NativeBound::Type::AboveInt64:
            // Every int64 lies below it; a float is left to the constraint.
            if (lower) no_ints();
            r.floats = false;
            break;
          case NativeBound::Type::BelowInt64:
            if (!lower) no_ints();
            r.floats = false;
            break;
          case NativeBound::Type::Other:
            return {};
        }
        break;
      }
      case ConstraintKind::MinLen:
        no_ints(), no_floats();
        r.length_lo = std::max<uint64_t>(r.length_lo, c.value);
        break;
      case ConstraintKind::MaxLen:
        no_ints(), no_floats();
        r.length_hi = std::min<uint64_t>(r.length_hi, c.value);
        break;
      case ConstraintKind::Regex:
        // Only a text needs the pattern run.
        no_ints(), no_floats();
        r.texts = false;
        break;
      default:
        return {};
    }
  }
  if (node.constraints.size() != natives.bounds.size()) return {};
  r.float_least = r.float_lo_open ? std::nextafter(r.float_lo, HUGE_VAL) : r.float_lo;
  r.float_most = r.float_hi_open ? std::nextafter(r.float_hi, -HUGE_VAL) : r.float_hi;
  // No double lies above an open +inf or below an open -inf.
  if ((r.float_lo_open && r.float_lo == HUGE_VAL) || (r.float_hi_open && r.float_hi == -HUGE_VAL)) {
    r.float_least = std::nan("");
  }
  return r;
}

namespace {

JsonTextSet make_text_set(const std::vector<std::string_view>& texts) {
  JsonTextSet set;
  if (texts.empty() || texts.size() > JsonTextSet::MOST) return set;
  for (size_t i = 0; i < texts.size(); ++i) {
    set.texts[i] = make_key_pattern(texts[i]);
    if (set.texts[i].width == 0) return {};
    set.wide |= set.texts[i].width > 16;
  }
  set.count = static_cast<uint8_t>(texts.size());
  set.short_texts = std::all_of(set.texts, set.texts + set.count,
                                [](const JsonKeyPattern& text) { return text.width <= 8; });
  if (set.count > 1 && !set.wide && !set.short_texts &&
      std::all_of(set.texts, set.texts + set.count,
                  [](const JsonKeyPattern& text) { return text.masks[0] == ~uint64_t{0}; })) {
    // The first odd multiplier of a fixed sequence that sends every text's
    // first word to a place of its own; none found leaves the loop over all.
    uint64_t seed = 0x9e3779b97f4a7c15ULL;
    for (int attempt = 0; attempt < 256 && !set.by_first_word; ++attempt) {
      seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
      const uint64_t multiplier = seed | 1;
      uint8_t places[32];
      std::fill(std::begin(places), std::end(places), JsonTextSet::NONE);
      bool apart = true;
      for (uint8_t i = 0; i < set.count && apart; ++i) {
        uint8_t& place = places[(set.texts[i].words[0] * multiplier) >> 59];
        apart = place == JsonTextSet::NONE;
        place = i;
      }
      if (!apart) continue;
      set.by_first_word = true;
      set.multiplier = multiplier;
      std::copy(std::begin(places), std::end(places), set.by_word);
    }
  }
  return set;
}

// A List of items decided in place (Kinds or Literals), with no fixed
// items before them: the item node, else null.
const SchemaNode* items_in_place(const SchemaNode& list, const JsonPlanPart& part) {
  if (list.kind != NodeKind::Sequence || list.sequence_kind != SequenceKind::List ||
      !list.pattern) {
    return nullptr;
  }
  const std::optional<schema::SequenceShape> shape = schema::read_sequence_shape(*list.pattern);
  if (!shape || shape->fixed != 0 || !shape->tail) return nullptr;
  const JsonNode* item = json_node(part, *shape->tail);
  if (!item || (item->how != InPlace::Kinds && item->how != InPlace::Literals)) return nullptr;
  return shape->tail;
}

// How a node is decided in place, its children's facts already made.
void decide_how(const SchemaNode& n, const check::PlanEntry& e, const JsonPlanPart& part,
                JsonNode& facts) {
  if (std::optional<uint8_t> mask = json_kind_mask(n.kind)) {
    facts.how = InPlace::Kinds;
    facts.kinds = *mask;
    return;
  }
  if (n.kind == NodeKind::Union && e.by_type) {
    facts.how = InPlace::Kinds;
    for (const SchemaNode& m : n.members) {
      if (const JsonNode* me = json_node(part, m)) facts.kinds |= me->kinds;
    }
    return;
  }
  if (e.literals != check::NO_FACT) {
    facts.how = InPlace::Literals;
    return;
  }
  if (n.kind == NodeKind::Constrained && e.bounds != check::NO_FACT && n.child) {
    const JsonNode* base = json_node(part, *n.child);
    if (base && base->how == InPlace::Kinds) {
      facts.how = InPlace::Bounded;
      facts.kinds = base->kinds;
    }
    return;
  }
  const SchemaNode* item = nullptr;
  uint8_t besides = 0;
  if (n.kind == NodeKind::Sequence) {
    item = items_in_place(n, part);
  } else if (n.kind == NodeKind::Union) {
    // One list and members its kinds decide (Optional[list[int]]).
    for (const SchemaNode& m : n.members) {
      const JsonNode* me = json_node(part, m);
      if (m.kind == NodeKind::Sequence) {
        if (item) return;
        item = items_in_place(m, part);
        if (!item) return;
      } else if (me && me->how == InPlace::Kinds) {
        besides |= me->kinds;
      } else {
        return;
      }
    }
    if (besides & JSON_ARRAY) return;
  }
  if (!item) return;
  facts.how = InPlace::Items;
  facts.kinds = besides;
  facts.item = item;
  facts.item_facts = json_node(part, *item);
}

// The kinds of JSON value a node can accept, its children's already known.
// Only steps that refuse other kinds before running any code narrow it.
uint8_t footprint(const SchemaNode& n, const Constants& constants, const JsonPlanPart& part) {
  if (std::optional<uint8_t> mask = json_kind_mask(n.kind)) return *mask;
  auto of = [&](const SchemaNode& child) {
    const JsonNode* e = json_node(part, child);
    return e ? e->footprint : JSON_ANY_KIND;
  };
  switch (n.kind) {
    case NodeKind::Literal: {
      if (n.index >= constants.size()) return 0;
      PyTypeObject* type = Py_TYPE(constants[n.index].get());
      if (type == &PyLong_Type) return JSON_INT;
      if (type == &PyBool_Type) return JSON_BOOL;
      if (type == &PyFloat_Type) return JSON_FLOAT;
      if (type == &PyUnicode_Type) return JSON_STR;
      return JSON_ANY_KIND;
    }
    case NodeKind::Sequence:
      return n.sequence_kind == SequenceKind::List ? JSON_ARRAY : 0;
    case NodeKind::Record:
      return JSON_OBJECT;
    case NodeKind::Union: {
      uint8_t mask = 0;
      for (const SchemaNode& m : n.members) mask |= of(m);
      return mask;
    }
    case NodeKind::Constrained:
      return n.child ? of(*n.child) : 0;
    default:
      return JSON_ANY_KIND;
  }
}

// A Union's member by kind, where some kind narrows it to one member or none.
std::optional<UnionByKind> union_by_kind(const SchemaNode& n, const JsonPlanPart& part) {
  if (n.members.size() < 2 || n.members.size() >= UnionByKind::MANY_MEMBERS) return std::nullopt;
  UnionByKind table;
  bool narrows = false;
  for (int bit = 0; bit < 7; ++bit) {
    uint8_t found = UnionByKind::NO_MEMBER;
    for (size_t i = 0; i < n.members.size(); ++i) {
      const JsonNode* me = json_node(part, n.members[i]);
      if (me && !(me->footprint & (1u << bit))) continue;
      if (found != UnionByKind::NO_MEMBER) {
        found = UnionByKind::MANY_MEMBERS;
        break;
      }
      found = static_cast<uint8_t>(i);
    }
    if (found != UnionByKind::MANY_MEMBERS) narrows = true;
    table.member[bit] = found;
  }
  if (!narrows) return std::nullopt;
  return table;
}

// Whether a node's step on a JSON value runs only our own code.
bool runs_own_code(const SchemaNode& n, const Constants& constants) {
  switch (n.kind) {
    case NodeKind::Instance:
    case NodeKind::Object:
      return false;
    case NodeKind::Literal:
      return n.index < constants.size() && py::is_exact_scalar(constants[n.index].get());
    case NodeKind::Constrained:
      for (const Constraint& c : n.constraints) {
        if (c.kind == ConstraintKind::Predicate) return false;
        if (c.kind != ConstraintKind::MinLen && c.kind != ConstraintKind::MaxLen &&
            c.kind != ConstraintKind::Regex) {
          // A JSON number against an exact int or float bound: the
          // interpreter's own arithmetic at worst.
          PyObject* bound = c.value < constants.size() ? constants[c.value].get() : nullptr;
          if (!bound || !(PyLong_CheckExact(bound) || PyFloat_CheckExact(bound))) return false;
        }
      }
      return true;
    default:
      return true;
  }
}

}  // namespace

JsonPartBuilder::JsonPartBuilder(const ValidatorCore& core)
    : constants_(core.constants), part_(std::make_unique<JsonPlanPart>()) {
  part_->nodes.resize(core.node_count);
}

JsonPartBuilder::~JsonPartBuilder() = default;

void JsonPartBuilder::post(const SchemaNode& n, const check::WalkPlan& plan) {
  if (!runs_own_code(n, constants_)) own_code_ = false;
  const check::PlanEntry* e = plan.entry(n);
  if (!e || n.slot >= part_->nodes.size()) return;  // not numbered by this core
  JsonNode& facts = part_->nodes[n.slot];
  facts.record = e->record;
  facts.literals = e->literals;
  facts.tagged = e->tagged;
  facts.bounds = e->bounds;
  const JsonPlanPart& part = *part_;
  facts.footprint = footprint(n, constants_, part);
  decide_how(n, *e, part, facts);
  if (n.kind == NodeKind::Union && !e->by_type) {
    if (std::optional<UnionByKind> table = union_by_kind(n, part)) {
      facts.by_kind = static_cast<uint32_t>(part_->by_kind.size());
      part_->by_kind.push_back(*table);
    }
  }
  if (e->literals != check::NO_FACT) {
    // Every exact str of the sets encodes, or the plan would hold none.
    if (part_->literals.size() <= e->literals) part_->literals.resize(e->literals + 1);
    JsonLiterals& literals = part_->literals[e->literals];
    const std::span<const SchemaNode> members =
        n.kind == NodeKind::Literal ? std::span<const SchemaNode>(&n, 1)
                                    : std::span<const SchemaNode>(n.members);
    for (const SchemaNode& m : members) {
      PyObject* value = constants_[m.index].get();
      if (!PyUnicode_CheckExact(value)) continue;
      bool failed = false;
      if (std::optional<std::string_view> text = py::utf8_unless_surrogate(value, failed)) {
        literals.texts.put(*text, 0);
      }
    }
  }
}

std::unique_ptr<check::PlanPart> JsonPartBuilder::finish(const check::WalkPlan& plan) {
  std::unique_ptr<JsonPlanPart> part = std::move(part_);
  part->runs_only_own_code = own_code_;
  part->literals.resize(plan.literals.size());
  // Sized once: the field facts point into them.
  for (const check::PlanBounds& natives : plan.bounds) {
    part->ranges.push_back(natives.node ? make_ranges(*natives.node, natives) : JsonRanges{});
  }
  for (size_t i = 0; i < part->literals.size(); ++i) {
    part->literals[i].sets = &plan.literals[i];
    part->literals[i].few = make_text_set(part->literals[i].texts.few_texts());
  }
  size_t total = 0;
  for (const check::PlanRecord& record : plan.records) total += record.node->fields.size();
  // Sized once: the facts point into them.
  part->keys.resize(total);
  part->field_how.resize(total);
  part->field_facts.resize(total);
  part->record_keys.resize(plan.records.size());
  size_t at = 0;
  std::vector<std::pair<std::string_view, PyObject*>> names;
  std::vector<bool> follows;
  for (const check::PlanRecord& record : plan.records) {
    bool after_previous = false;
    for (size_t i = 0; i < record.names.size(); ++i) {
      const std::string& text = record.node->fields[i].name;
      if (record.names[i] && text.size() <= CACHED_TEXT_BYTES) {
        names.emplace_back(text, record.names[i].get());
        follows.push_back(after_previous);
        after_previous = true;
      } else {
        after_previous = false;
      }
    }
    check::BareTextTable& by_text = part->record_keys[part->records.size()];
    for (size_t i = 0; i < record.node->fields.size(); ++i) {
      by_text.put(record.node->fields[i].name, i);
    }
    part->records.push_back({&record, part->keys.data() + at, part->field_how.data() + at,
                             part->field_facts.data() + at,
                             &by_text, by_text.size() == record.node->fields.size()});
    for (const RecordField& field : record.node->fields) {
      part->field_facts[at] = json_node(*part, field.node);
      if (const JsonNode* f = part->field_facts[at]) part->field_how[at] = {f->how, f->kinds};
      part->keys[at++] = make_key_pattern(field.name);
    }
  }
  for (const check::PlanTagged& tagged : plan.tagged) {
    JsonTaggedFacts facts;
    facts.key = make_key_pattern(tagged.name);
    if (tagged.union_node) {
      const std::vector<SchemaNode>& members = tagged.union_node->members;
      for (const SchemaNode& member : members) {
        const JsonNode* e = json_node(*part, member);
        facts.members.push_back(e && e->record != check::NO_FACT ? &part->records[e->record]
                                                                  : nullptr);
      }
      for (size_t i = 0; i < members.size() && i < 64; ++i) {
        if (!members[i].fields.empty() && members[i].fields.front().name == tagged.name) {
          facts.tag_first |= uint64_t{1} << i;
        }
      }
    }
    const std::vector<std::string_view> texts = tagged.str_tags.few_texts();
    facts.str_tags = make_text_set(texts);
    for (size_t i = 0; i < facts.str_tags.count; ++i) {
      const uint64_t* member = tagged.str_tags.find(texts[i]);
      if (!member || *member > UINT8_MAX) {
        facts.str_tags.count = 0;
        break;
      }
      facts.str_tag_members[i] = static_cast<uint8_t>(*member);
    }
    part->tagged.push_back(facts);
  }
  part->field_names.build(names, follows);
  // Every table is final: the nodes point into them.
  for (JsonNode& node : part->nodes) {
    if (node.how == InPlace::Literals) node.literal_set = &part->literals[node.literals];
    if (node.how == InPlace::Bounded) node.ranges = &part->ranges[node.bounds];
  }
  return part;
}

}  // namespace tarmelix::json
