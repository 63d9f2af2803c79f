// Runs the event parser over one whole document, for both parse roads. The
// parser stops without error after the value and reports how far it read, so
// the bytes after it are checked here; the depth limit is raised to 200; the
// error text is the error code's message (what() would add a source location).
// Number literals follow the rules of json/json_number.h.
#pragma once

#include <boost/json/basic_parser_impl.hpp>
#include <boost/system/error_code.hpp>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "json/json_number.h"
#include "py/stack.h"

namespace tarmelix::json {

inline constexpr size_t JSON_MAX_DEPTH = 200;

struct JsonSyntaxError {
  std::string text;
  size_t offset = 0;  // byte offset into the document
  bool exponent_overflow = false;  // the parser could not hold an exponent
};

enum class JsonParseStatus : uint8_t { Ok, Invalid, PythonError };

// What every handler of ours carries besides its events.
struct JsonHandlerBase {
  static constexpr std::size_t max_array_size = static_cast<std::size_t>(-1);
  static constexpr std::size_t max_object_size = static_cast<std::size_t>(-1);
  static constexpr std::size_t max_string_size = static_cast<std::size_t>(-1);
  static constexpr std::size_t max_key_size = static_cast<std::size_t>(-1);

  explicit JsonHandlerBase(std::string_view in) : input(in) {}

  std::string_view input;
  std::optional<JsonSyntaxError> own_error;  // a refusal of ours (number overflow)
  bool python_error = false;                 // the interpreter's indicator is set
  IntegerDigitLimit digit_limit;

  // The parser recurses once a nesting level; each container's begin event
  // checks the stack for the next one.
  static void enter_container() { py::require_stack_room("reading JSON"); }

  bool on_document_begin(boost::system::error_code&) { return true; }
  bool on_document_end(boost::system::error_code&) { return true; }
  bool on_comment_part(boost::json::string_view, boost::system::error_code&) { return true; }
  bool on_comment(boost::json::string_view, boost::system::error_code&) { return true; }

  // Whether a view handed over by the parser lies in the document itself (and
  // so stays valid for the whole parse) rather than in a scratch buffer.
  bool in_input(boost::json::string_view s) const {
    return s.data() >= input.data() && s.data() + s.size() <= input.data() + input.size();
  }

  bool fail_python(boost::system::error_code& ec) {
    python_error = true;
    ec = boost::json::error::exception;
    return false;
  }
  bool fail_own(std::string_view text, boost::json::string_view at, boost::system::error_code& ec) {
    size_t offset = in_input(at) ? static_cast<size_t>(at.data() - input.data()) : input.size();
    own_error = JsonSyntaxError{std::string(text), offset};
    ec = boost::json::error::exception;
    return false;
  }
  // False (the parse stopped) for an integer literal with more digits than
  // the interpreter converts.
  bool admit_integer(std::string_view literal, boost::json::string_view at,
                     boost::system::error_code& ec) {
    switch (digit_limit.check(literal)) {
      case IntegerFit::Fits:
        return true;
      case IntegerFit::TooLong:
        return fail_own(NUMBER_OUT_OF_RANGE, at, ec);
      case IntegerFit::PythonError:
        return fail_python(ec);
    }
    return true;
  }
};

inline bool is_json_whitespace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

template <class Handler>
JsonParseStatus drive_json_parser(boost::json::basic_parser<Handler>& parser,
                                  std::string_view input, JsonSyntaxError& error) {
  boost::system::error_code ec;
  size_t used = parser.write_some(false, input.data(), input.size(), ec);
  const Handler& h = parser.handler();
  if (h.python_error) return JsonParseStatus::PythonError;
  if (h.own_error) {
    error = *h.own_error;
    return JsonParseStatus::Invalid;
  }
  if (ec) {
    error = JsonSyntaxError{ec.message(), used, ec == boost::json::error::exponent_overflow};
    return JsonParseStatus::Invalid;
  }
  for (size_t i = used; i < input.size(); ++i) {
    if (!is_json_whitespace(input[i])) {
      boost::system::error_code extra = boost::json::error::extra_data;
      error = JsonSyntaxError{extra.message(), i};
      return JsonParseStatus::Invalid;
    }
  }
  return JsonParseStatus::Ok;
}

inline boost::json::parse_options json_parse_options() {
  boost::json::parse_options options;
  options.max_depth = JSON_MAX_DEPTH;
  return options;
}

// Parses a whole document with a fresh Handler and hands the handler of a
// successful parse to `finish`. An exponent the parser cannot hold is parsed
// again over `rewritten`, a copy with every such finite literal replaced (it
// must outlive whatever `finish` keeps); a literal still refused then is
// infinite: out of range, at the literal, as for any other overflow.
template <class Handler, class Finish>
JsonParseStatus run_json_parser(std::string_view input, std::unique_ptr<char[]>& rewritten,
                                JsonSyntaxError& error, Finish&& finish) {
  for (;;) {
    boost::json::basic_parser<Handler> parser(json_parse_options(), input);
    JsonParseStatus status = drive_json_parser(parser, input, error);
    if (status == JsonParseStatus::Ok) finish(parser.handler());
    if (status != JsonParseStatus::Invalid || !error.exponent_overflow) return status;
    if (!rewritten) {
      rewritten = rewrite_huge_exponents(input);
      if (rewritten) {
        input = std::string_view(rewritten.get(), input.size());
        continue;
      }
    }
    error = JsonSyntaxError{std::string(NUMBER_OUT_OF_RANGE),
                            number_literal_start(input, error.offset)};
    return JsonParseStatus::Invalid;
  }
}

}  // namespace tarmelix::json
