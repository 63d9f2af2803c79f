// FxHash (the multiply-and-rotate hash, version-2 form): an unseeded hash for
// the system's own tables. Deterministic from run to run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace tarmelix::schema {

inline constexpr uint64_t FX_SEED = 0xf1357aea2e62a9c5ULL;

inline uint64_t fx_add(uint64_t hash, uint64_t word) { return (hash + word) * FX_SEED; }

// Final mix: the multiply leaves the low bits weak, so rotate them up.
inline uint64_t fx_finish(uint64_t hash) { return (hash << 26) | (hash >> 38); }

inline uint64_t fx_hash_u64(uint64_t v) { return fx_finish(fx_add(0, v)); }

// Byte-string hash: eight bytes at a time, the tail zero-padded, then length.
uint64_t fx_hash_bytes(std::string_view bytes);

struct FxHasher {
  size_t operator()(uint64_t v) const noexcept { return fx_hash_u64(v); }
  size_t operator()(const void* p) const noexcept {
    return fx_hash_u64(reinterpret_cast<uintptr_t>(p));
  }
  size_t operator()(std::string_view s) const noexcept { return fx_hash_bytes(s); }
  using is_transparent = void;
};

}  // namespace tarmelix::schema

// This unit's interface, used unqualified from the other folders.
namespace tarmelix {
using schema::FxHasher;
}  // namespace tarmelix
