#include "json/json_parse.h"

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "json/json_driver.h"
#include "json/json_invalid.h"
#include "json/json_number.h"
#include "json/json_position.h"
#include "json/string_cache.h"
#include "py/error.h"

namespace tarmelix::json {

namespace {

namespace bj = boost::json;
namespace bs = boost::system;

class PythonBuilder : public JsonHandlerBase {
 public:
  using JsonHandlerBase::JsonHandlerBase;

  py::Ref take_root() {
    if (stack_.size() != 1) py::fault("JSON parser finished without exactly one value");
    return std::move(stack_.back());
  }

  bool on_array_begin(bs::error_code&) {
    enter_container();
    return true;
  }
  bool on_object_begin(bs::error_code&) {
    enter_container();
    return true;
  }

  bool on_array_end(std::size_t n, bs::error_code& ec) {
    py::Ref list = py::Ref::steal(PyList_New(static_cast<Py_ssize_t>(n)));
    if (!list) return fail_python(ec);
    size_t base = stack_.size() - n;
    for (size_t i = 0; i < n; ++i) {
      PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), stack_[base + i].release());
    }
    stack_.resize(base);
    stack_.push_back(std::move(list));
    return true;
  }

  bool on_object_end(std::size_t n, bs::error_code& ec) {
    py::Ref dict = py::Ref::steal(PyDict_New());
    if (!dict) return fail_python(ec);
    size_t base = stack_.size() - 2 * n;
    // In document order: a repeated key keeps its first position and its
    // last value.
    for (size_t i = base; i < stack_.size(); i += 2) {
      if (PyDict_SetItem(dict.get(), stack_[i].get(), stack_[i + 1].get()) < 0) {
        return fail_python(ec);
      }
    }
    stack_.resize(base);
    stack_.push_back(std::move(dict));
    return true;
  }

  bool on_string_part(bj::string_view s, std::size_t, bs::error_code&) {
    part_.append(s.data(), s.size());
    return true;
  }
  bool on_string(bj::string_view s, std::size_t, bs::error_code& ec) {
    return push(make_str(finish_part(s), false), ec);
  }
  bool on_key_part(bj::string_view s, std::size_t, bs::error_code&) {
    part_.append(s.data(), s.size());
    return true;
  }
  bool on_key(bj::string_view s, std::size_t, bs::error_code& ec) {
    return push(make_str(finish_part(s), true), ec);
  }

  bool on_number_part(bj::string_view s, bs::error_code&) {
    number_part_.append(s.data(), s.size());
    return true;
  }
  bool on_int64(int64_t i, bj::string_view, bs::error_code& ec) {
    number_part_.clear();
    return push(py::Ref::steal(PyLong_FromLongLong(i)), ec);
  }
  bool on_uint64(uint64_t u, bj::string_view, bs::error_code& ec) {
    number_part_.clear();
    return push(py::Ref::steal(PyLong_FromUnsignedLongLong(u)), ec);
  }
  bool on_double(double, bj::string_view s, bs::error_code& ec) {
    std::string_view literal{s.data(), s.size()};
    if (!number_part_.empty()) {
      number_part_.append(s.data(), s.size());
      literal = number_part_;
    }
    py::Ref made;
    if (is_integer_literal(literal)) {
      if (!admit_integer(literal, s, ec)) {
        number_part_.clear();
        return false;
      }
      // Past 64 bits: the exact int of the digits.
      std::string digits(literal);
      made = py::Ref::steal(PyLong_FromString(digits.c_str(), nullptr, 10));
    } else {
      std::optional<double> d = reparse_double(literal);
      if (!d) {
        number_part_.clear();
        return PyErr_Occurred() ? fail_python(ec) : fail_own(NUMBER_OUT_OF_RANGE, s, ec);
      }
      made = py::Ref::steal(PyFloat_FromDouble(*d));
    }
    number_part_.clear();
    return push(std::move(made), ec);
  }

  bool on_bool(bool b, bs::error_code&) {
    stack_.push_back(py::boolean(b));
    return true;
  }
  bool on_null(bs::error_code&) {
    stack_.push_back(py::none());
    return true;
  }

 private:
  bool push(py::Ref value, bs::error_code& ec) {
    if (!value) return fail_python(ec);
    stack_.push_back(std::move(value));
    return true;
  }

  std::string_view finish_part(bj::string_view s) {
    if (part_.empty()) return {s.data(), s.size()};
    part_.append(s.data(), s.size());
    return part_;
  }

  // The parser checked the UTF-8.
  py::Ref make_str(std::string_view text, bool key) {
    py::Ref made = json_str(text, key);
    part_.clear();
    return made;
  }

  std::vector<py::Ref> stack_;
  std::string part_;         // a string or key handed over in pieces
  std::string number_part_;  // a number handed over in pieces
};

}  // namespace

py::Ref parse_json_to_python(std::string_view input) {
  std::unique_ptr<char[]> rewritten;
  JsonSyntaxError error;
  py::Ref root;
  switch (run_json_parser<PythonBuilder>(input, rewritten, error,
                                         [&](PythonBuilder& h) { root = h.take_root(); })) {
    case JsonParseStatus::Ok:
      return root;
    case JsonParseStatus::PythonError:
      return {};
    case JsonParseStatus::Invalid:
      break;
  }
  raise_json_invalid(json_error_message(error.text, input, error.offset));
  return {};
}

}  // namespace tarmelix::json
