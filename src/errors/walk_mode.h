// What a membership walk records.
#pragma once

#include <cstdint>

namespace tarmelix {

// CollectAll and StopAtFirst record failures; CheckOnly records nothing.
enum class WalkMode : uint8_t { CollectAll, StopAtFirst, CheckOnly };

}  // namespace tarmelix
