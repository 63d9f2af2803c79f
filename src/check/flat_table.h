// Small open-addressing hash tables for the walk plan: built once, then only
// read, on every check. Flat storage keeps a lookup to one or two cache lines.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tarmelix {

// UTF-8 text to a word; put() replaces the value of a text already present.
class TextTable {
 public:
  void put(std::string_view text, uint64_t value);
  const uint64_t* find(std::string_view text) const;
  bool contains(std::string_view text) const { return find(text) != nullptr; }
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
  size_t probe(std::string_view text, uint64_t hash) const;
  void grow();

  std::vector<Slot> slots_;  // capacity a power of two, at most half full
  std::string bytes_;        // every key text, back to back
  size_t count_ = 0;
};

// A 64-bit word to a word; put() replaces.
class WordTable {
 public:
  void put(uint64_t key, uint64_t value);
  const uint64_t* find(uint64_t key) const;
  bool contains(uint64_t key) const { return find(key) != nullptr; }
  size_t size() const { return count_; }
  bool empty() const { return count_ == 0; }

 private:
  struct Slot {
    uint64_t key = 0;
    uint64_t value = 0;
    bool used = false;
  };
  size_t probe(uint64_t key) const;
  void grow();

  std::vector<Slot> slots_;
  size_t count_ = 0;
};

}  // namespace tarmelix
