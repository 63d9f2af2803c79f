// The bytes of a JSON document given to load, validate_json or is_valid_json.
#pragma once

#include <string_view>

#include "py/ref.h"

namespace tarmelix::json {

// Failed: the str's UTF-8 form could not be made for another reason (a
// MemoryError), which is left set.
enum class JsonInputKind : uint8_t { Bytes, NotEncodable, Neither, Failed };

struct JsonInput {
  JsonInputKind kind = JsonInputKind::Neither;
  // Borrowed from the str's UTF-8 cache or the bytes' own buffer: valid while
  // the argument lives.
  std::string_view bytes;
};

// A str (its UTF-8 form; a lone surrogate makes it NotEncodable, the error
// cleared), a bytes (its buffer), anything else Neither. Leaves an error set
// only with Failed.
JsonInput json_input_bytes(PyObject* data);

}  // namespace tarmelix::json
