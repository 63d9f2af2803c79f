// Docstrings of the module surface. A callable's text starts with its
// signature line and "--", which the interpreter turns into
// __text_signature__.
#pragma once

namespace tarmelix::validator::doc {

extern const char MODULE[];
extern const char VALIDATOR[];
extern const char VALIDATE[];
extern const char IS_VALID[];
extern const char ENSURE[];
extern const char VALIDATE_JSON[];
extern const char LOAD[];
extern const char IS_VALID_JSON[];
extern const char IS_EMPTY[];
extern const char IS_SUBTYPE_OF[];
extern const char IS_EQUIVALENT[];
extern const char COPY[];
extern const char DEEPCOPY[];
extern const char OPEN[];
extern const char CLOSE[];
extern const char SIMPLIFY[];
extern const char UNION[];
extern const char INTERSECTION[];
extern const char COMPLEMENT[];
extern const char RECURSIVE[];

}  // namespace tarmelix::validator::doc
