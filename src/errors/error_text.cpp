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
  std::string line;
  if (!where.empty()) line = "at " + where + ": ";
  line += "expected " + record.expected + ", got " + record.got + " [" + record.code + "]";
  return line;
}

py::Ref path_to_tuple(const Path& path) {
  py::Ref tuple = py::Ref::steal(PyTuple_New(static_cast<Py_ssize_t>(path.size())));
  if (!tuple) return {};
  for (size_t i = 0; i < path.size(); ++i) {
    py::Ref item;
    if (const uint64_t* index = std::get_if<uint64_t>(&path[i])) {
      item = py::Ref::steal(PyLong_FromUnsignedLongLong(*index));
    } else {
      const std::string& key = std::get<std::string>(path[i]);
      item = py::Ref::steal(
          PyUnicode_DecodeUTF8(key.data(), static_cast<Py_ssize_t>(key.size()), "replace"));
    }
    if (!item) return {};
    PyTuple_SET_ITEM(tuple.get(), static_cast<Py_ssize_t>(i), item.release());
  }
  return tuple;
}

}  // namespace tarmelix::errors
