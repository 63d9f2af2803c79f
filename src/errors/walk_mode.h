// What a membership walk records.
#pragma once

#include <cstdint>

namespace tarmelix::errors {

// CollectAll and StopAtFirst record failures; CheckOnly records nothing.
enum class WalkMode : uint8_t { CollectAll, StopAtFirst, CheckOnly };

}  // namespace tarmelix::errors

// This unit's interface, used unqualified from the other folders.
namespace tarmelix {
using errors::WalkMode;
}  // namespace tarmelix
