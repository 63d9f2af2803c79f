// A heap cell with value semantics: copying a Box deep-copies what it holds.
// Lets tree nodes own their children with the default copy constructor.
#pragma once

#include <memory>
#include <utility>

namespace tarmelix::schema {

template <class T>
class Box {
 public:
  Box() = default;
  explicit Box(T value) : ptr_(std::make_unique<T>(std::move(value))) {}
  Box(const Box& o) : ptr_(o.ptr_ ? std::make_unique<T>(*o.ptr_) : nullptr) {}
  Box(Box&&) noexcept = default;
  Box& operator=(const Box& o) {
    if (this != &o) ptr_ = o.ptr_ ? std::make_unique<T>(*o.ptr_) : nullptr;
    return *this;
  }
  Box& operator=(Box&&) noexcept = default;

  T& operator*() const { return *ptr_; }
  T* operator->() const { return ptr_.get(); }
  T* get() const { return ptr_.get(); }
  explicit operator bool() const { return ptr_ != nullptr; }

 private:
  std::unique_ptr<T> ptr_;
};

}  // namespace tarmelix::schema
