// The ValidationError raised for a rejected value or a malformed document.
#pragma once

#include <cstddef>
#include <string_view>

#include "errors/record.h"

namespace tarmelix {

// Characters of a JSON parser message kept in the got text of json_invalid.
inline constexpr size_t JSON_MESSAGE_CHARS = 80;

// Always leaves an exception pending: the ValidationError built from the
// records (a fallback record stands in for an empty list), or the exception
// that stopped it from being built.
void raise_validation_error(const ErrorList& records);

// The json_invalid ValidationError of a document the parser refused;
// `parser_message` is cut to JSON_MESSAGE_CHARS characters.
void raise_json_invalid(std::string_view parser_message);

}  // namespace tarmelix
