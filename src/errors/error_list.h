// The records of one walk, in the order the walk found them. A failure is
// listed once: a record equal to one already listed is not appended again,
// so a value reached down several routes (intersection members, fields of
// one name, a remembered answer used twice) explains itself once, and a
// list never outgrows the distinct failures of the value.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "errors/record.h"

namespace tarmelix::errors {

// Records are shared, not copied, between the lists of one walk and the
// answers it remembers.
using SharedRecord = std::shared_ptr<ErrorRecord>;

class ErrorList {
 public:
  // Appends the record unless an equal one is listed; true when appended.
  // During a walk two records are equal when path, code and expected text
  // are, and they preview the same object (or, without one, have the same
  // got text): equal at once, and still so once a pending got text is made.
  bool push_back(ErrorRecord record);
  bool push_back(SharedRecord record);
  // Every record of `other` in order, each as push_back.
  void append(const ErrorList& other);

  size_t size() const { return records_.size(); }
  bool empty() const { return records_.empty(); }
  const ErrorRecord& operator[](size_t i) const { return *records_[i]; }
  const ErrorRecord& front() const { return *records_.front(); }
  const SharedRecord& shared(size_t i) const { return records_[i]; }
  // For making a pending got text, which is no part of the record's
  // identity here; nothing else of the record may change.
  ErrorRecord& pending(size_t i) { return *records_[i]; }

  // Drops each record whose path, code, expected and got texts equal an
  // earlier one's; the rest keep their order. Every got text must be made.
  void drop_equal_texts();

  class const_iterator {
   public:
    using Base = std::vector<SharedRecord>::const_iterator;
    explicit const_iterator(Base at) : at_(at) {}
    const ErrorRecord& operator*() const { return **at_; }
    const ErrorRecord* operator->() const { return at_->get(); }
    const_iterator& operator++() {
      ++at_;
      return *this;
    }
    bool operator==(const const_iterator&) const = default;

   private:
    Base at_;
  };
  const_iterator begin() const { return const_iterator(records_.begin()); }
  const_iterator end() const { return const_iterator(records_.end()); }

 private:
  // Short lists are searched record by record; longer ones through an
  // open-addressing table of positions (plus one; 0 is a free slot).
  static constexpr size_t SCAN_LIMIT = 8;
  bool listed(const ErrorRecord& record) const;
  void add(SharedRecord record);
  void index(size_t position);
  void rebuild_index();

  std::vector<SharedRecord> records_;
  std::vector<uint32_t> slots_;
};

}  // namespace tarmelix::errors

// This unit's interface, used unqualified from the other folders.
namespace tarmelix {
using errors::ErrorList;
using errors::SharedRecord;
}  // namespace tarmelix
