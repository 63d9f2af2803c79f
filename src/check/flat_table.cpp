#include "check/flat_table.h"

#include <cstring>

#include "schema/fxhash.h"

namespace tarmelix {

namespace {
constexpr size_t MIN_SLOTS = 8;
}

size_t TextTable::probe(std::string_view text, uint64_t hash) const {
  size_t mask = slots_.size() - 1;
  size_t i = hash & mask;
  while (true) {
    const Slot& s = slots_[i];
    if (!s.used) return i;
    if (s.hash == hash && s.length == text.size() &&
        std::memcmp(bytes_.data() + s.offset, text.data(), text.size()) == 0) {
      return i;
    }
    i = (i + 1) & mask;
  }
}

void TextTable::grow() {
  std::vector<Slot> old = std::move(slots_);
  slots_.assign(old.empty() ? MIN_SLOTS : old.size() * 2, Slot{});
  size_t mask = slots_.size() - 1;
  for (const Slot& s : old) {
    if (!s.used) continue;
    size_t i = s.hash & mask;
    while (slots_[i].used) i = (i + 1) & mask;
    slots_[i] = s;
  }
}

void TextTable::put(std::string_view text, uint64_t value) {
  if ((count_ + 1) * 2 > slots_.size()) grow();
  uint64_t hash = fx_hash_bytes(text);
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

const uint64_t* TextTable::find(std::string_view text) const {
  if (count_ == 0) return nullptr;
  const Slot& s = slots_[probe(text, fx_hash_bytes(text))];
  return s.used ? &s.value : nullptr;
}

size_t WordTable::probe(uint64_t key) const {
  size_t mask = slots_.size() - 1;
  size_t i = fx_hash_u64(key) & mask;
  while (slots_[i].used && slots_[i].key != key) i = (i + 1) & mask;
  return i;
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

const uint64_t* WordTable::find(uint64_t key) const {
  if (count_ == 0) return nullptr;
  const Slot& s = slots_[probe(key)];
  return s.used ? &s.value : nullptr;
}

}  // namespace tarmelix
