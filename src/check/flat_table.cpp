#include "check/flat_table.h"

#include <string>

#include "render/utf8_text.h"
#include "schema/fxhash.h"

#if PY_VERSION_HEX >= 0x030D0000 && PY_VERSION_HEX < 0x030E0000
// 3.13 keeps the bytes hash in its internal headers, still exported. Making
// a str to hash instead could fail for want of memory and miss the lookup.
extern "C" PyAPI_FUNC(Py_hash_t) _Py_HashBytes(const void*, Py_ssize_t);
#endif

namespace tarmelix::check {

namespace {

constexpr size_t MIN_SLOTS = 8;

uint64_t hash_buffer(const void* data, size_t size) {
#if PY_VERSION_HEX >= 0x030E0000
  return static_cast<uint64_t>(Py_HashBuffer(data, static_cast<Py_ssize_t>(size)));
#else
  return static_cast<uint64_t>(_Py_HashBytes(data, static_cast<Py_ssize_t>(size)));
#endif
}

template <class Unit>
uint64_t hash_code_units(std::string_view utf8) {
  std::basic_string<Unit> units;
  units.reserve(utf8.size());
  for (size_t pos = 0; pos < utf8.size();) {
    units.push_back(static_cast<Unit>(render::next_code_point(utf8, pos)));
  }
  return hash_buffer(units.data(), units.size() * sizeof(Unit));
}

}  // namespace

uint64_t text_hash(std::string_view utf8) {
  // The interpreter hashes a str's storage: one, two or four bytes a
  // character, the fewest that hold its largest one. An ASCII text is its
  // own one-byte storage. (A text that is not UTF-8 gets some number; no str
  // holds it, so no lookup can find it anyway.)
  char32_t largest = 0;
  for (size_t pos = 0; pos < utf8.size();) {
    if (static_cast<unsigned char>(utf8[pos]) < 0x80) {
      ++pos;
      continue;
    }
    const char32_t cp = render::next_code_point(utf8, pos);
    if (cp > largest) largest = cp;
  }
  if (largest == 0) return hash_buffer(utf8.data(), utf8.size());
  if (largest < 0x100) return hash_code_units<uint8_t>(utf8);
  if (largest < 0x10000) return hash_code_units<char16_t>(utf8);
  return hash_code_units<char32_t>(utf8);
}

void TextTable::grow() {
  std::vector<Slot> old = std::move(slots_);
  slots_.assign(old.empty() ? MIN_SLOTS : old.size() * 2, Slot{});
  size_t mask = slots_.size() - 1;
  for (const Slot& s : old) {
    if (!s.used) continue;
    size_t i = schema::fx_hash_u64(s.hash) & mask;
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

void BareTextTable::put(std::string_view text, uint64_t value) {
  if (hashed_) {
    many_.put(text, schema::fx_hash_bytes(text), value);
    return;
  }
  for (Few& f : few_) {
    if (f.text == text) {
      f.value = value;
      return;
    }
  }
  if (few_.size() < FEW) {
    few_.push_back({std::string(text), value});
    return;
  }
  for (const Few& f : few_) many_.put(f.text, schema::fx_hash_bytes(f.text), f.value);
  many_.put(text, schema::fx_hash_bytes(text), value);
  few_.clear();
  hashed_ = true;
}

}  // namespace tarmelix::check
