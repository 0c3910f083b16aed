#pragma once
// The ZIP format's numbers that more than one reader of an archive's raw bytes needs.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/formats/little_endian.h"

namespace rk5::zip {

constexpr std::uint32_t kLocalSignature = 0x04034b50;
constexpr std::size_t kLocalSize = 30;  // a local header without its name and extra field
constexpr std::uint16_t kZip64Extra = 0x0001;
constexpr std::uint32_t kFull32 = 0xFFFFFFFF;  // a 32-bit size or offset whose value is in ZIP64

// The little-endian number of size bytes at b[at].
inline std::uint64_t Little(const std::vector<unsigned char>& b, std::uint64_t at, int size) {
  return platform::LoadLittle(b.data() + at, size);
}

}  // namespace rk5::zip
