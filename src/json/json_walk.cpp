#include "json/json_walk.h"

#include <string>

#include "json/json_walk_impl.h"

namespace tarmelix::json {

namespace {

// The event parser's tree as the walk reads it.
class TreeView {
 public:
  TreeView() = default;
  explicit TreeView(const JsonValue* v) : v_(v) {}

  explicit operator bool() const { return v_ != nullptr; }
  JsonValueKind kind() const { return v_->kind; }
  std::string_view str() const { return v_->str(); }
  int64_t integer() const { return v_->integer; }
  bool boolean() const { return v_->boolean; }
  double number() const { return v_->number; }
  size_t size() const { return static_cast<size_t>(v_->size); }
  TreeView first() const { return TreeView(v_->first()); }
  TreeView next() const { return TreeView(v_->next()); }
  uint64_t identity() const { return reinterpret_cast<uintptr_t>(v_); }
  py::Ref to_python() const { return walk_impl::to_python(*this); }
  py::Ref big_to_python() const {
    std::string digits(v_->str());
    return py::Ref::steal(PyLong_FromString(digits.c_str(), nullptr, 10));
  }

 private:
  const JsonValue* v_ = nullptr;
};

}  // namespace

bool walk_json(const SchemaNode& node, const JsonValue& value, const WalkContext& ctx) {
  return walk_impl::walk(node, TreeView(&value), ctx);
}

}  // namespace tarmelix::json
