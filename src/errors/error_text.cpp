#include "errors/error_text.h"

namespace tarmelix::errors {

std::string path_text(const Path& path) {
  std::string out;
  for (const PathSegment& segment : path) {
    if (const uint64_t* index = std::get_if<uint64_t>(&segment)) {
      out += '[';
      out += std::to_string(*index);
      out += ']';
    } else {
      if (!out.empty()) out += '.';
      out += std::get<std::string>(segment);
    }
  }
  return out;
}

std::string format_error_line(const ErrorRecord& record) {
  const std::string where = path_text(record.path);
  const std::string_view code = record.code;
  std::string line;
  line.reserve(where.size() + record.expected.size() + record.got.size() + code.size() + 24);
  if (!where.empty()) {
    line += "at ";
    line += where;
    line += ": ";
  }
  line += "expected ";
  line += record.expected;
  line += ", got ";
  line += record.got;
  line += " [";
  line += code;
  line += ']';
  return line;
}

py::Ref text_object(std::string_view text) {
  return py::Ref::steal(
      PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "replace"));
}

py::Ref TextObjects::get(std::string_view text) {
  if (text.size() > MAX_TEXT) return text_object(text);
  if (auto at = made_.find(text); at != made_.end()) return at->second;
  py::Ref made = text_object(text);
  if (made && made_.size() < MAX_KEPT) made_.emplace(text, made);
  return made;
}

py::Ref path_to_tuple(const Path& path, TextObjects& texts) {
  py::Ref tuple = py::Ref::steal(PyTuple_New(static_cast<Py_ssize_t>(path.size())));
  if (!tuple) return {};
  for (size_t i = 0; i < path.size(); ++i) {
    py::Ref item;
    if (const uint64_t* index = std::get_if<uint64_t>(&path[i])) {
      item = py::Ref::steal(PyLong_FromUnsignedLongLong(*index));
    } else {
      item = texts.get(std::get<std::string>(path[i]));
    }
    if (!item) return {};
    PyTuple_SET_ITEM(tuple.get(), static_cast<Py_ssize_t>(i), item.release());
  }
  return tuple;
}

}  // namespace tarmelix::errors
