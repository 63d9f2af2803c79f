// One failure of a membership walk: where, what was expected, what was found.
#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "py/ref.h"

namespace tarmelix::errors {

// A key (dict key, attribute name, undeclared key text) or a list/tuple index.
using PathSegment = std::variant<std::string, uint64_t>;
using Path = std::vector<PathSegment>;

struct ErrorRecord {
  Path path;  // a copy of the walk's path at the failure
  std::string expected;
  std::string got;
  const char* code;  // static error code word, never owned
  // The value `got` previews, held while the record lives: its address then
  // names the failure (ErrorList). Unset when `got` is no preview.
  py::Ref got_value = {};
  // `got` is still to be made from got_value, while the record may yet be
  // discarded (make_pending_got_texts). False in every record a walk hands
  // back.
  bool got_pending = false;
  mutable uint64_t key_hash = 0;  // ErrorList's hash of it once computed, 0 before
  mutable uint64_t place_hash = 0;  // ErrorList's hash of path, code and expected, 0 before
};

}  // namespace tarmelix::errors

// This unit's interface, used unqualified from the other folders.
namespace tarmelix {
using errors::PathSegment;
using errors::Path;
using errors::ErrorRecord;
}  // namespace tarmelix
