#include "json/json_value.h"

#include <cstring>
#include <string>

#include "json/json_driver.h"
#include "json/json_number.h"
#include "py/error.h"
#include "py/stack.h"

namespace tarmelix::json {

namespace {

namespace bj = boost::json;

class ValueBuilder : public JsonHandlerBase {
 public:
  explicit ValueBuilder(std::string_view in) : JsonHandlerBase(in) {
    // Most documents take four bytes or more a value, so this is rarely
    // outgrown; pages never touched cost nothing.
    grow(in.size() / 4 + 16);
    open_.reserve(JSON_MAX_DEPTH);
  }

  JsonDocument finish() {
    if (!open_.empty() || used_ == 0) py::fault("JSON parser finished inside a value");
    JsonDocument doc;
    doc.values = std::move(tape_);
    doc.texts = std::move(texts_);
    return doc;
  }

  bool on_array_begin(bj::error_code&) {
    open_container(JsonValueKind::Array);
    return true;
  }
  bool on_object_begin(bj::error_code&) {
    open_container(JsonValueKind::Object);
    return true;
  }
  bool on_array_end(std::size_t n, bj::error_code&) {
    close_container(n);
    return true;
  }
  bool on_object_end(std::size_t n, bj::error_code&) {
    close_container(n);
    return true;
  }

  bool on_string_part(bj::string_view s, std::size_t, bj::error_code&) {
    part_.append(s.data(), s.size());
    return true;
  }
  bool on_string(bj::string_view s, std::size_t, bj::error_code&) {
    push_text(JsonValueKind::Str, s, part_);
    return true;
  }
  bool on_key_part(bj::string_view s, std::size_t, bj::error_code&) {
    part_.append(s.data(), s.size());
    return true;
  }
  bool on_key(bj::string_view s, std::size_t, bj::error_code&) {
    push_text(JsonValueKind::Str, s, part_);
    return true;
  }

  bool on_number_part(bj::string_view s, bj::error_code&) {
    number_part_.append(s.data(), s.size());
    return true;
  }
  bool on_int64(int64_t i, bj::string_view, bj::error_code&) {
    number_part_.clear();
    JsonValue& v = append(JsonValueKind::Int);
    v.integer = i;
    return true;
  }
  bool on_uint64(uint64_t, bj::string_view s, bj::error_code&) {
    // Above the int64 range: kept as its digits.
    push_text(JsonValueKind::BigInt, s, number_part_);
    return true;
  }
  bool on_double(double, bj::string_view s, bj::error_code& ec) {
    std::string joined;
    std::string_view literal{s.data(), s.size()};
    if (!number_part_.empty()) {
      joined = number_part_ + std::string(literal);
      literal = joined;
    }
    if (is_integer_literal(literal)) {
      push_text(JsonValueKind::BigInt, s, number_part_);
      return true;
    }
    std::optional<double> d = reparse_double(literal);
    number_part_.clear();
    if (!d) return fail_own(NUMBER_OUT_OF_RANGE, s, ec);
    JsonValue& v = append(JsonValueKind::Float);
    v.number = *d;
    return true;
  }

  bool on_bool(bool b, bj::error_code&) {
    JsonValue& v = append(JsonValueKind::Bool);
    v.integer = 0;
    v.boolean = b;
    return true;
  }
  bool on_null(bj::error_code&) {
    append(JsonValueKind::Null).integer = 0;
    return true;
  }

 private:
  void open_container(JsonValueKind kind) {
    enter_container();
    open_.push_back(used_);
    JsonValue& v = append(kind);
    v.size = 0;
    v.span = 0;
  }

  void close_container(size_t count) {
    JsonValue& v = tape_[open_.back()];
    v.size = count;
    v.span = used_ - open_.back() - 1;
    open_.pop_back();
  }

  // A text that lies whole in the document is referenced in place; one that
  // came in pieces or was unescaped into scratch space is copied.
  void push_text(JsonValueKind kind, bj::string_view last, std::string& pieces) {
    JsonValue& v = append(kind);
    if (pieces.empty() && in_input(last)) [[likely]] {
      v.text = last.data();
      v.size = last.size();
    } else {
      pieces.append(last.data(), last.size());
      v.text = keep_text(pieces);
      v.size = pieces.size();
      pieces.clear();
    }
  }

  JsonValue& append(JsonValueKind kind) {
    if (used_ == capacity_) [[unlikely]] grow(capacity_ * 2);
    JsonValue& v = tape_[used_++];
    v.kind = kind;
    v.size = 0;
    return v;
  }

  void grow(size_t capacity) {
    auto bigger = std::make_unique_for_overwrite<JsonValue[]>(capacity);
    if (used_ > 0) std::memcpy(bigger.get(), tape_.get(), used_ * sizeof(JsonValue));
    tape_ = std::move(bigger);
    capacity_ = capacity;
  }

  const char* keep_text(std::string_view text) {
    static constexpr size_t CHUNK = 16 * 1024;
    if (text.size() > CHUNK / 4) {
      texts_.push_back(std::unique_ptr<char[]>(new char[text.size() + 1]));
      std::memcpy(texts_.back().get(), text.data(), text.size());
      return texts_.back().get();
    }
    if (chunk_left_ < text.size()) {
      texts_.push_back(std::unique_ptr<char[]>(new char[CHUNK]));
      chunk_next_ = texts_.back().get();
      chunk_left_ = CHUNK;
    }
    char* at = chunk_next_;
    std::memcpy(at, text.data(), text.size());
    chunk_next_ += text.size();
    chunk_left_ -= text.size();
    return at;
  }

  std::unique_ptr<JsonValue[]> tape_;  // the tree in document order
  size_t used_ = 0;
  size_t capacity_ = 0;
  std::vector<size_t> open_;  // positions of the containers not yet closed
  std::vector<std::unique_ptr<char[]>> texts_;
  char* chunk_next_ = nullptr;
  size_t chunk_left_ = 0;
  std::string part_;
  std::string number_part_;
};

py::Ref str_from_text(std::string_view text) {
  return py::Ref::steal(
      PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "strict"));
}

}  // namespace

std::optional<JsonDocument> parse_json_document(std::string_view input) {
  bj::basic_parser<ValueBuilder> parser(json_parse_options(), input);
  JsonSyntaxError error;
  if (drive_json_parser(parser, input, error) != JsonParseStatus::Ok) return std::nullopt;
  return parser.handler().finish();
}

py::Ref json_to_python(const JsonValue& value) {
  switch (value.kind) {
    case JsonValueKind::Null:
      return py::none();
    case JsonValueKind::Bool:
      return py::boolean(value.boolean);
    case JsonValueKind::Int:
      return py::Ref::steal(PyLong_FromLongLong(value.integer));
    case JsonValueKind::BigInt: {
      std::string digits(value.str());
      return py::Ref::steal(PyLong_FromString(digits.c_str(), nullptr, 10));
    }
    case JsonValueKind::Float:
      return py::Ref::steal(PyFloat_FromDouble(value.number));
    case JsonValueKind::Str:
      return str_from_text(value.str());
    case JsonValueKind::Array: {
      py::require_stack_room("reading JSON");
      py::Ref list = py::Ref::steal(PyList_New(0));
      if (!list) return {};
      const JsonValue* item = value.first();
      for (uint64_t i = 0; i < value.size; ++i, item = item->next()) {
        py::Ref converted = json_to_python(*item);
        if (!converted || PyList_Append(list.get(), converted.get()) < 0) return {};
      }
      return list;
    }
    case JsonValueKind::Object: {
      py::require_stack_room("reading JSON");
      py::Ref dict = py::Ref::steal(PyDict_New());
      if (!dict) return {};
      const JsonValue* key = value.first();
      for (uint64_t i = 0; i < value.size; ++i, key = key[1].next()) {
        py::Ref converted = json_to_python(key[1]);
        if (!converted) return {};
        py::Ref text = str_from_text(key->str());
        if (!text || PyDict_SetItem(dict.get(), text.get(), converted.get()) < 0) return {};
      }
      return dict;
    }
  }
  py::fault("unknown JSON value kind");
}

}  // namespace tarmelix::json
