#include "check/flat_table.h"

#include "schema/fxhash.h"

namespace tarmelix::check {

namespace {
constexpr size_t MIN_SLOTS = 8;
}

uint64_t text_hash(std::string_view utf8) {
  bool ascii = true;
  for (unsigned char c : utf8) {
    if (c >= 0x80) {
      ascii = false;
      break;
    }
  }
  // An ASCII str is stored one byte a character, and that is what the
  // interpreter hashes.
  // 3.13 hides the bytes hash in its internal headers; there the decoding
  // path below gives the same number.
#if PY_VERSION_HEX >= 0x030E0000
  if (ascii) {
    return static_cast<uint64_t>(Py_HashBuffer(utf8.data(), static_cast<Py_ssize_t>(utf8.size())));
  }
#elif PY_VERSION_HEX < 0x030D0000
  if (ascii) {
    return static_cast<uint64_t>(_Py_HashBytes(utf8.data(), static_cast<Py_ssize_t>(utf8.size())));
  }
#else
  (void)ascii;
#endif
  py::Ref text = py::Ref::steal(
      PyUnicode_DecodeUTF8(utf8.data(), static_cast<Py_ssize_t>(utf8.size()), nullptr));
  if (!text) {
    // Only text that is not UTF-8 gets here, and no str holds it.
    PyErr_Clear();
    return 0;
  }
  return str_hash(text.get());
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

}  // namespace tarmelix::check
