// SipHash-1-3: one compression round per 8-byte block, three finalisation
// rounds. Validator hashes are stable across processes, so the keys are fixed.
#pragma once

#include <cstdint>
#include <string_view>

namespace tarmelix::validator {

uint64_t siphash13(uint64_t key0, uint64_t key1, std::string_view data);

}  // namespace tarmelix::validator
