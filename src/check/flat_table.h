// Small open-addressing hash tables for the walk plan: built once, then only
// read, on every check. Flat storage keeps a lookup to one or two cache lines.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "py/ref.h"
#include "schema/fxhash.h"

namespace tarmelix::check {

// Byte equality without a library call: keys are mostly short, so compare
// whole words, the last one overlapping the one before.
inline bool same_bytes(const char* a, const char* b, size_t n) {
  auto load64 = [](const char* p) {
    uint64_t w;
    std::memcpy(&w, p, 8);
    return w;
  };
  auto load32 = [](const char* p) {
    uint32_t w;
    std::memcpy(&w, p, 4);
    return w;
  };
  if (n >= 8) {
    for (size_t i = 0; i + 8 <= n; i += 8) {
      if (load64(a + i) != load64(b + i)) return false;
    }
    return load64(a + n - 8) == load64(b + n - 8);
  }
  if (n >= 4) return load32(a) == load32(b) && load32(a + n - 4) == load32(b + n - 4);
  for (size_t i = 0; i < n; ++i) {
    if (a[i] != b[i]) return false;
  }
  return true;
}

// The hash the interpreter gives a str of this UTF-8 text. Text tables are
// keyed by it, so a lookup by a Python str reuses the hash the str caches
// (str_hash) and a lookup by bare text computes the same number.
uint64_t text_hash(std::string_view utf8);

// A str's own content hash (never an overridden __hash__), cached in the str.
inline uint64_t str_hash(PyObject* text) {
  return static_cast<uint64_t>(PyUnicode_Type.tp_hash(text));
}

// UTF-8 text to a word; put() replaces the value of a text already present.
class TextTable {
 public:
  void put(std::string_view text, uint64_t value) { put(text, text_hash(text), value); }
  const uint64_t* find(std::string_view text) const { return find(text, text_hash(text)); }
  bool contains(std::string_view text) const { return find(text) != nullptr; }

  // With the text's text_hash (or the str_hash of a str holding it).
  void put(std::string_view text, uint64_t hash, uint64_t value);
  const uint64_t* find(std::string_view text, uint64_t hash) const {
    if (count_ == 0) return nullptr;
    const Slot& s = slots_[probe(text, hash)];
    return s.used ? &s.value : nullptr;
  }
  bool contains(std::string_view text, uint64_t hash) const { return find(text, hash) != nullptr; }
  size_t size() const { return count_; }
  bool empty() const { return count_ == 0; }

 private:
  struct Slot {
    uint64_t hash = 0;
    uint64_t value = 0;
    uint32_t offset = 0;
    uint32_t length = 0;
    bool used = false;
  };
  size_t probe(std::string_view text, uint64_t hash) const {
    size_t mask = slots_.size() - 1;
    size_t i = schema::fx_hash_u64(hash) & mask;
    while (true) {
      const Slot& s = slots_[i];
      if (!s.used) return i;
      if (s.hash == hash && s.length == text.size() &&
          same_bytes(bytes_.data() + s.offset, text.data(), text.size())) {
        return i;
      }
      i = (i + 1) & mask;
    }
  }
  void grow();

  std::vector<Slot> slots_;  // capacity a power of two, at most half full
  std::string bytes_;        // every key text, back to back
  size_t count_ = 0;
};

// UTF-8 text to a word, for lookups by bare text (a document's, with no
// cached hash): a few texts are compared one by one, which costs less than
// hashing; more are hashed with fx_hash_bytes. put() replaces.
class BareTextTable {
 public:
  void put(std::string_view text, uint64_t value);
  const uint64_t* find(std::string_view text) const {
    if (hashed_) return many_.find(text, schema::fx_hash_bytes(text));
    for (const Few& f : few_) {
      if (f.text.size() == text.size() && same_bytes(f.text.data(), text.data(), text.size())) {
        return &f.value;
      }
    }
    return nullptr;
  }
  bool contains(std::string_view text) const { return find(text) != nullptr; }
  size_t size() const { return hashed_ ? many_.size() : few_.size(); }
  bool empty() const { return size() == 0; }
  // Every text, while there are few enough to be compared one by one;
  // empty once they are hashed.
  std::vector<std::string_view> few_texts() const {
    std::vector<std::string_view> texts;
    if (!hashed_) {
      for (const Few& f : few_) texts.push_back(f.text);
    }
    return texts;
  }

 private:
  static constexpr size_t FEW = 8;
  struct Few {
    std::string text;
    uint64_t value;
  };
  std::vector<Few> few_;
  TextTable many_;
  bool hashed_ = false;
};

// A 64-bit word to a word; put() replaces.
class WordTable {
 public:
  void put(uint64_t key, uint64_t value);
  const uint64_t* find(uint64_t key) const {
    if (count_ == 0) return nullptr;
    const Slot& s = slots_[probe(key)];
    return s.used ? &s.value : nullptr;
  }
  bool contains(uint64_t key) const { return find(key) != nullptr; }
  size_t size() const { return count_; }
  bool empty() const { return count_ == 0; }

 private:
  struct Slot {
    uint64_t key = 0;
    uint64_t value = 0;
    bool used = false;
  };
  size_t probe(uint64_t key) const {
    size_t mask = slots_.size() - 1;
    size_t i = schema::fx_hash_u64(key) & mask;
    while (slots_[i].used && slots_[i].key != key) i = (i + 1) & mask;
    return i;
  }
  void grow();

  std::vector<Slot> slots_;
  size_t count_ = 0;
};

}  // namespace tarmelix::check
