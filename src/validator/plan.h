// A validator's plan: the shared walk plan with the JSON roads' part, built
// in one traversal the first time the validator is asked about a value.
#pragma once

#include "schema/core.h"

namespace tarmelix::validator {

// Builds the core's plan once; never blocks the interpreter. Throws what the
// build throws (std::bad_alloc), leaving the plan unbuilt.
void ensure_plan(ValidatorCore& core);

}  // namespace tarmelix::validator
