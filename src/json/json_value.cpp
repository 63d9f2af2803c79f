#include "json/json_value.h"

#include <cstring>
#include <string>

#include "json/json_driver.h"
#include "json/json_number.h"
#include "py/error.h"

namespace tarmelix::json {

namespace {

namespace bj = boost::json;
namespace bs = boost::system;

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
    doc.values = std::move(tree_);
    doc.texts = std::move(texts_);
    return doc;
  }

  bool on_array_begin(bs::error_code&) {
    open_container(JsonValueKind::Array);
    return true;
  }
  bool on_object_begin(bs::error_code&) {
    open_container(JsonValueKind::Object);
    return true;
  }
  bool on_array_end(std::size_t n, bs::error_code&) {
    close_container(n);
    return true;
  }
  bool on_object_end(std::size_t n, bs::error_code&) {
    close_container(n);
    return true;
  }

  bool on_string_part(bj::string_view s, std::size_t, bs::error_code&) {
    part_.append(s.data(), s.size());
    return true;
  }
  bool on_string(bj::string_view s, std::size_t, bs::error_code&) {
    push_text(JsonValueKind::Str, s, part_);
    return true;
  }
  bool on_key_part(bj::string_view s, std::size_t, bs::error_code&) {
    part_.append(s.data(), s.size());
    return true;
  }
  bool on_key(bj::string_view s, std::size_t, bs::error_code&) {
    push_text(JsonValueKind::Str, s, part_);
    return true;
  }

  bool on_number_part(bj::string_view s, bs::error_code&) {
    number_part_.append(s.data(), s.size());
    return true;
  }
  bool on_int64(int64_t i, bj::string_view, bs::error_code&) {
    number_part_.clear();
    JsonValue& v = append(JsonValueKind::Int);
    v.integer = i;
    return true;
  }
  bool on_uint64(uint64_t, bj::string_view s, bs::error_code&) {
    // Above the int64 range: kept as its digits.
    push_text(JsonValueKind::BigInt, s, number_part_);
    return true;
  }
  bool on_double(double, bj::string_view s, bs::error_code& ec) {
    std::string joined;
    std::string_view literal{s.data(), s.size()};
    if (!number_part_.empty()) {
      joined = number_part_ + std::string(literal);
      literal = joined;
    }
    if (is_integer_literal(literal)) {
      if (!admit_integer(literal, s, ec)) return false;
      push_text(JsonValueKind::BigInt, s, number_part_);
      return true;
    }
    std::optional<double> d = reparse_double(literal);
    number_part_.clear();
    if (!d) return PyErr_Occurred() ? fail_python(ec) : fail_own(NUMBER_OUT_OF_RANGE, s, ec);
    JsonValue& v = append(JsonValueKind::Float);
    v.number = *d;
    return true;
  }

  bool on_bool(bool b, bs::error_code&) {
    JsonValue& v = append(JsonValueKind::Bool);
    v.integer = 0;
    v.boolean = b;
    return true;
  }
  bool on_null(bs::error_code&) {
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
    JsonValue& v = tree_[open_.back()];
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
    JsonValue& v = tree_[used_++];
    v.kind = kind;
    v.size = 0;
    return v;
  }

  void grow(size_t capacity) {
    auto bigger = std::make_unique_for_overwrite<JsonValue[]>(capacity);
    if (used_ > 0) std::memcpy(bigger.get(), tree_.get(), used_ * sizeof(JsonValue));
    tree_ = std::move(bigger);
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

  std::unique_ptr<JsonValue[]> tree_;  // the tree in document order
  size_t used_ = 0;
  size_t capacity_ = 0;
  std::vector<size_t> open_;  // positions of the containers not yet closed
  std::vector<std::unique_ptr<char[]>> texts_;
  char* chunk_next_ = nullptr;
  size_t chunk_left_ = 0;
  std::string part_;
  std::string number_part_;
};

}  // namespace

std::optional<JsonDocument> parse_json_document(std::string_view input) {
  std::unique_ptr<char[]> rewritten;
  JsonSyntaxError error;
  std::optional<JsonDocument> doc;
  if (run_json_parser<ValueBuilder>(input, rewritten, error,
                                    [&](ValueBuilder& h) { doc = h.finish(); }) !=
      JsonParseStatus::Ok) {
    return std::nullopt;
  }
  // Texts of a rewritten document point into the copy.
  if (rewritten) doc->texts.push_back(std::move(rewritten));
  return doc;
}

}  // namespace tarmelix::json
