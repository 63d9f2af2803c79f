#include "errors/error_list.h"

#include <cstring>
#include <string_view>

#include "schema/fxhash.h"

namespace tarmelix::errors {

namespace {

using schema::fx_add;
using schema::fx_hash_bytes;

uint64_t compute_path_code_expected(const ErrorRecord& r) {
  uint64_t h = fx_add(0, r.path.size());
  for (const PathSegment& segment : r.path) {
    if (const uint64_t* index = std::get_if<uint64_t>(&segment)) {
      h = fx_add(fx_add(h, 1), *index);
    } else {
      h = fx_add(fx_add(h, 2), fx_hash_bytes(std::get<std::string>(segment)));
    }
  }
  h = fx_add(h, fx_hash_bytes(r.code));
  return fx_add(h, fx_hash_bytes(r.expected));
}

uint64_t nonzero(uint64_t h) { return h == 0 ? 1 : h; }

// Kept in the record once made: both the list's index and drop_equal_texts
// ask for it.
uint64_t hash_path_code_expected(const ErrorRecord& r) {
  if (r.place_hash == 0) r.place_hash = nonzero(compute_path_code_expected(r));
  return r.place_hash;
}

// The hash of what push_back compares, kept in the record once made.
uint64_t key_hash(const ErrorRecord& r) {
  if (r.key_hash == 0) {
    uint64_t h = hash_path_code_expected(r);
    h = r.got_value ? fx_add(fx_add(h, 3), reinterpret_cast<uintptr_t>(r.got_value.get()))
                    : fx_add(fx_add(h, 4), fx_hash_bytes(r.got));
    r.key_hash = nonzero(schema::fx_finish(h));
  }
  return r.key_hash;
}

// The code words are static, but one word may stand at several addresses.
bool same_path_code_expected(const ErrorRecord& a, const ErrorRecord& b) {
  return (a.code == b.code || std::strcmp(a.code, b.code) == 0) && a.expected == b.expected &&
         a.path == b.path;
}

bool same_failure(const ErrorRecord& a, const ErrorRecord& b) {
  if (&a == &b) return true;
  if (a.got_value.get() != b.got_value.get()) return false;
  if (!a.got_value && a.got != b.got) return false;
  return same_path_code_expected(a, b);
}

bool same_texts(const ErrorRecord& a, const ErrorRecord& b) {
  return a.got == b.got && same_path_code_expected(a, b);
}

size_t table_size(size_t count) {
  size_t n = 32;
  while (n < 2 * count) n *= 2;
  return n;
}

}  // namespace

bool ErrorList::listed(const ErrorRecord& record) const {
  if (slots_.empty()) {
    for (const SharedRecord& r : records_) {
      if (same_failure(*r, record)) return true;
    }
    return false;
  }
  const uint64_t hash = key_hash(record);
  const size_t mask = slots_.size() - 1;
  for (size_t i = hash & mask; slots_[i] != 0; i = (i + 1) & mask) {
    const ErrorRecord& r = *records_[slots_[i] - 1];
    if (key_hash(r) == hash && same_failure(r, record)) return true;
  }
  return false;
}

void ErrorList::index(size_t position) {
  const size_t mask = slots_.size() - 1;
  size_t i = key_hash(*records_[position]) & mask;
  while (slots_[i] != 0) i = (i + 1) & mask;
  slots_[i] = static_cast<uint32_t>(position + 1);
}

void ErrorList::rebuild_index() {
  slots_.assign(table_size(records_.size()), 0);
  for (size_t i = 0; i < records_.size(); ++i) index(i);
}

void ErrorList::add(SharedRecord record) {
  records_.push_back(std::move(record));
  if (!slots_.empty() && 2 * records_.size() <= slots_.size()) {
    index(records_.size() - 1);
  } else if (records_.size() > SCAN_LIMIT) {
    rebuild_index();
  }
}

bool ErrorList::push_back(ErrorRecord record) {
  if (listed(record)) return false;
  add(std::make_shared<ErrorRecord>(std::move(record)));
  return true;
}

bool ErrorList::push_back(SharedRecord record) {
  if (listed(*record)) return false;
  add(std::move(record));
  return true;
}

void ErrorList::append(const ErrorList& other) {
  if (records_.empty()) {
    *this = other;
    return;
  }
  for (const SharedRecord& r : other.records_) push_back(r);
}

void ErrorList::drop_equal_texts() {
  if (records_.size() < 2) return;
  if (records_.size() <= SCAN_LIMIT) {
    size_t kept = 0;
    for (size_t i = 0; i < records_.size(); ++i) {
      bool repeated = false;
      for (size_t j = 0; j < kept && !repeated; ++j) {
        repeated = same_texts(*records_[j], *records_[i]);
      }
      if (repeated) continue;
      if (kept != i) records_[kept] = std::move(records_[i]);
      ++kept;
    }
    records_.resize(kept);
    if (!slots_.empty()) rebuild_index();
    return;
  }
  std::vector<uint64_t> hashes;
  hashes.reserve(records_.size());
  std::vector<uint32_t> table(table_size(records_.size()), 0);
  const size_t mask = table.size() - 1;
  std::vector<SharedRecord> kept;
  kept.reserve(records_.size());
  for (SharedRecord& r : records_) {
    const uint64_t hash =
        schema::fx_finish(fx_add(fx_add(hash_path_code_expected(*r), 4), fx_hash_bytes(r->got)));
    size_t i = hash & mask;
    bool repeated = false;
    for (; table[i] != 0; i = (i + 1) & mask) {
      const size_t at = table[i] - 1;
      if (hashes[at] == hash && same_texts(*kept[at], *r)) {
        repeated = true;
        break;
      }
    }
    if (repeated) continue;
    table[i] = static_cast<uint32_t>(kept.size() + 1);
    hashes.push_back(hash);
    kept.push_back(std::move(r));
  }
  records_ = std::move(kept);
  if (!slots_.empty()) rebuild_index();
}

}  // namespace tarmelix::errors
