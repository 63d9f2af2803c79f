#include "json/json_plan.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "check/kinds.h"
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

// The facts of a field whose node is a list of items decided alone: by
// their kind, or by an all-literal union's sets.
void list_items(const check::WalkPlan& plan, const JsonPlanPart& part, const SchemaNode& field,
                JsonFieldFacts& facts) {
  const SchemaNode* list = &field;
  uint8_t besides = 0;
  if (field.kind == NodeKind::Union) {
    list = nullptr;
    for (const SchemaNode& m : field.members) {
      if (m.kind == NodeKind::Sequence) {
        if (list) return;
        list = &m;
        continue;
      }
      const check::PlanEntry* e = plan.entry(m);
      if (e && e->by_type) {
        besides |= e->json_kinds;
      } else if (m.kind != NodeKind::Union && check::json_kind_mask(m.kind)) {
        besides |= *check::json_kind_mask(m.kind);
      } else {
        return;
      }
    }
    if (!list || (besides & check::JSON_ARRAY)) return;
  }
  const SchemaNode& node = *list;
  if (node.kind != NodeKind::Sequence || node.sequence_kind != SequenceKind::List ||
      !node.pattern) {
    return;
  }
  facts.besides_list = besides;
  const std::optional<schema::SequenceShape> shape = schema::read_sequence_shape(*node.pattern);
  if (!shape || shape->fixed != 0 || !shape->tail) return;
  const check::PlanEntry* e = plan.entry(*shape->tail);
  if (e && e->by_type) {
    facts.item_kinds = e->json_kinds;
  } else if (shape->tail->kind != NodeKind::Union && check::json_kind_mask(shape->tail->kind)) {
    facts.item_kinds = *check::json_kind_mask(shape->tail->kind);
  } else if (e && e->literals != check::NO_FACT) {
    facts.item_literals = e->literals;
    if (part.text_sets[e->literals].count) facts.item_texts = &part.text_sets[e->literals];
  }
}

}  // namespace

std::unique_ptr<check::PlanPart> make_json_plan_part(const check::WalkPlan& plan,
                                                     const ValidatorCore&) {
  auto part = std::make_unique<JsonPlanPart>();
  // Sized once: the field facts point into them.
  for (const check::PlanBounds& natives : plan.bounds) {
    part->ranges.push_back(natives.node ? make_ranges(*natives.node, natives) : JsonRanges{});
  }
  for (const check::PlanLiterals& literals : plan.literals) {
    part->text_sets.push_back(make_text_set(literals.bare_texts.few_texts()));
  }
  size_t total = 0;
  for (const check::PlanRecord& record : plan.records) total += record.node->fields.size();
  // Sized once: the facts point into them.
  part->keys.resize(total);
  part->fields.resize(total);
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
    part->records.push_back({&record, part->keys.data() + at, record.json_field_kinds.data(),
                             part->fields.data() + at, record.distinct});
    for (const RecordField& field : record.node->fields) {
      const check::PlanEntry* e = plan.entry(field.node);
      const check::PlanEntry* base =
          field.node.kind == NodeKind::Constrained && field.node.child ? plan.entry(*field.node.child)
                                                                       : nullptr;
      JsonFieldFacts& facts = part->fields[at];
      if (e && base && e->bounds != check::NO_FACT && base->by_type) {
        facts.bounds = e->bounds;
        facts.base_kinds = base->json_kinds;
        facts.ranges = &part->ranges[e->bounds];
      }
      if (e) facts.literals = e->literals;
      if (e && e->literals != check::NO_FACT && part->text_sets[e->literals].count) {
        facts.texts = &part->text_sets[e->literals];
      }
      list_items(plan, *part, field.node, facts);
      part->keys[at++] = make_key_pattern(field.name);
    }
  }
  for (const check::PlanTagged& tagged : plan.tagged) {
    JsonTaggedFacts facts;
    facts.key = make_key_pattern(tagged.name);
    if (tagged.union_node) {
      const std::vector<SchemaNode>& members = tagged.union_node->members;
      for (const SchemaNode& member : members) {
        const check::PlanEntry* e = plan.entry(member);
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
  return part;
}

}  // namespace tarmelix::json
