#include "check/flat_table.h"

#include "schema/fxhash.h"

namespace tarmelix {

namespace {
constexpr size_t MIN_SLOTS = 8;
}

void TextTable::grow() {
  std::vector<Slot> old = std::move(slots_);
  slots_.assign(old.empty() ? MIN_SLOTS : old.size() * 2, Slot{});
  size_t mask = slots_.size() - 1;
  for (const Slot& s : old) {
    if (!s.used) continue;
    size_t i = fx_hash_u64(s.hash) & mask;
    while (slots_[i].used) i = (i + 1) & mask;
    slots_[i] = s;
  }
}

void TextTable::put(std::string_view text, uint64_t hash, uint64_t value) {
  if ((count_ + 1) * 2 > slots_.size()) grow();
  Slot& s = slots_[probe(text, hash)];
  if (!s.used) {
    s.used = true;
    s.hash = hash;
    s.offset = static_cast<uint32_t>(bytes_.size());
    s.length = static_cast<uint32_t>(text.size());
    bytes_.append(text);
    ++count_;
  }
  s.value = value;
}

void WordTable::grow() {
  std::vector<Slot> old = std::move(slots_);
  slots_.assign(old.empty() ? MIN_SLOTS : old.size() * 2, Slot{});
  for (const Slot& s : old) {
    if (s.used) slots_[probe(s.key)] = s;
  }
}

void WordTable::put(uint64_t key, uint64_t value) {
  if ((count_ + 1) * 2 > slots_.size()) grow();
  Slot& s = slots_[probe(key)];
  if (!s.used) {
    s.used = true;
    s.key = key;
    ++count_;
  }
  s.value = value;
}

}  // namespace tarmelix
