#include "json/json_invalid.h"

#include "errors/errors.h"
#include "render/render.h"

namespace tarmelix::json {

void raise_json_invalid(std::string_view message) {
  ErrorList records;
  records.push_back(ErrorRecord{{}, "valid JSON", truncate_chars(message, JSON_MESSAGE_CHARS),
                                "json_invalid"});
  raise_validation_error(records);
}

}  // namespace tarmelix::json
