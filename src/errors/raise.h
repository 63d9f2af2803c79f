// The ValidationError raised for a rejected value or a malformed document.
#pragma once

#include "errors/error_list.h"

namespace tarmelix::errors {

// Always leaves an exception pending: the ValidationError built from the
// records (a fallback record stands in for an empty list), or the exception
// that stopped it from being built.
void raise_validation_error(const ErrorList& records);

}  // namespace tarmelix::errors

// This unit's interface, used unqualified from the other folders.
namespace tarmelix {
using errors::raise_validation_error;
}  // namespace tarmelix
