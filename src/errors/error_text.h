// The text of error records and their paths.
#pragma once

#include <string>

#include "errors/record.h"
#include "py/ref.h"

namespace tarmelix::errors {

// a[0].b: indexes in brackets, keys after a dot (none before the first text),
// keys exactly as stored.
std::string path_text(const Path& path);

// "at {path}: expected {}, got {} [{}]", without "at {path}: " when the path
// text is empty.
std::string format_error_line(const ErrorRecord& record);

// A tuple of str (keys) and int (indexes); null with the error set.
py::Ref path_to_tuple(const Path& path);

}  // namespace tarmelix::errors

// This unit's interface, used unqualified from the other folders.
namespace tarmelix {
using errors::format_error_line;
}  // namespace tarmelix
