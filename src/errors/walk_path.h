// The error path of a walk as a chain of frames on the C++ stack: a step
// that walks a component makes a child frame, and nothing is allocated until
// a record copies the chain into a Path.
#pragma once

#include <cstdint>
#include <string_view>

#include "errors/record.h"

namespace tarmelix::errors {

class WalkPath {
 public:
  WalkPath() = default;  // the empty path

  // A key segment; the text must outlive the child frame.
  WalkPath key(std::string_view text) const { return WalkPath(this, text, 0, false); }
  WalkPath index(uint64_t i) const { return WalkPath(this, {}, i, true); }

  size_t depth() const { return depth_; }

 private:
  friend Path copy_path(const WalkPath& path);
  friend bool path_starts_with(const Path& path, const WalkPath& prefix);

  WalkPath(const WalkPath* parent, std::string_view key, uint64_t index, bool is_index)
      : parent_(parent), key_(key), index_(index), depth_(parent->depth_ + 1), is_index_(is_index) {}

  const WalkPath* parent_ = nullptr;
  std::string_view key_;
  uint64_t index_ = 0;
  size_t depth_ = 0;
  bool is_index_ = false;
};

// An owned copy of the chain, outermost segment first.
inline Path copy_path(const WalkPath& path) {
  Path copy(path.depth_);
  for (const WalkPath* p = &path; p && p->depth_ > 0; p = p->parent_) {
    copy[p->depth_ - 1] = p->is_index_ ? PathSegment(p->index_) : PathSegment(std::string(p->key_));
  }
  return copy;
}

// Whether the first segments of `path` are those of `prefix`.
inline bool path_starts_with(const Path& path, const WalkPath& prefix) {
  if (path.size() < prefix.depth_) return false;
  for (const WalkPath* p = &prefix; p && p->depth_ > 0; p = p->parent_) {
    const PathSegment& segment = path[p->depth_ - 1];
    if (p->is_index_) {
      const uint64_t* index = std::get_if<uint64_t>(&segment);
      if (!index || *index != p->index_) return false;
    } else {
      const std::string* key = std::get_if<std::string>(&segment);
      if (!key || *key != p->key_) return false;
    }
  }
  return true;
}

}  // namespace tarmelix::errors

// This unit's interface, used unqualified from the other folders.
namespace tarmelix {
using errors::WalkPath;
using errors::copy_path;
using errors::path_starts_with;
}  // namespace tarmelix
