#pragma once
// Little-endian numbers in bytes already checked to be long enough: the byte order of
// every Windows file structure the program reads (programs, icons, bitmaps) and of ZIP
// archives.
#include <cstdint>

namespace rk5::platform {

inline uint16_t LoadU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

inline uint32_t LoadU32(const uint8_t* p) {
  return static_cast<uint32_t>(LoadU16(p)) | (static_cast<uint32_t>(LoadU16(p + 2)) << 16);
}

// size bytes, at most 8.
inline uint64_t LoadLittle(const uint8_t* p, int size) {
  uint64_t value = 0;
  for (int i = size - 1; i >= 0; --i) value = (value << 8) | p[i];
  return value;
}

}  // namespace rk5::platform
