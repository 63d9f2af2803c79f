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
  // The value whose preview `got` is still to become, while the record may
  // yet be discarded (make_pending_got_texts). Unset in every record a walk
  // hands back.
  py::Ref got_pending = {};
};

// Records in the order the walk found them; appended, never reordered.
using ErrorList = std::vector<ErrorRecord>;

}  // namespace tarmelix::errors

// This unit's interface, used unqualified from the other folders.
namespace tarmelix {
using errors::PathSegment;
using errors::Path;
using errors::ErrorRecord;
using errors::ErrorList;
}  // namespace tarmelix
