// The text of error records and their paths.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>

#include "errors/record.h"
#include "py/ref.h"

namespace tarmelix::errors {

// a[0].b: indexes in brackets, keys after a dot (none before the first text),
// keys exactly as stored.
std::string path_text(const Path& path);

// "at {path}: expected {}, got {} [{}]", without "at {path}: " when the path
// text is empty.
std::string format_error_line(const ErrorRecord& record);

// str objects of texts that repeat over a long list of records (codes,
// expected texts, previews, path keys), each made once: a text met again
// gets the same object. Views are kept, so the texts must outlive it.
class TextObjects {
 public:
  // A new reference, or null with the error set.
  py::Ref get(std::string_view text);

 private:
  // Long texts seldom repeat, and past this many the table only costs.
  static constexpr size_t MAX_TEXT = 64;
  static constexpr size_t MAX_KEPT = 4096;
  std::unordered_map<std::string_view, py::Ref> made_;
};

// A str of UTF-8 text (undecodable bytes replaced); null with the error set.
py::Ref text_object(std::string_view text);

// A tuple of str (keys) and int (indexes); null with the error set.
py::Ref path_to_tuple(const Path& path, TextObjects& texts);

}  // namespace tarmelix::errors

// This unit's interface, used unqualified from the other folders.
namespace tarmelix {
using errors::format_error_line;
}  // namespace tarmelix
