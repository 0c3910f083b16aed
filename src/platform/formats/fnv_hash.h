#pragma once
// The 64-bit FNV-1a hash: cheap, stable across runs and systems, so names made from it
// (pictures, mark files) stay the same from one run to the next. Not for secrets.
#include <cstdint>
#include <string>
#include <string_view>

namespace rk5::platform {

inline constexpr uint64_t kFnvStart = 0xcbf29ce484222325ULL;

// One byte (or a small number) folded into the hash; a caller that compares bytes
// loosely (letter case) feeds the byte it compares by.
inline constexpr uint64_t FnvStep(uint64_t hash, uint64_t value) {
  return (hash ^ value) * 0x100000001b3ULL;
}

inline constexpr uint64_t FnvHash(std::string_view bytes, uint64_t hash = kFnvStart) {
  for (char c : bytes) hash = FnvStep(hash, static_cast<unsigned char>(c));
  return hash;
}

// The hash as 16 lower-case hex digits, for file names.
std::string FnvHex(std::string_view bytes, uint64_t hash = kFnvStart);

}  // namespace rk5::platform
