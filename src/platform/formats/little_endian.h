#pragma once
// Little-endian numbers in bytes already checked to be long enough: the byte order of
// every Windows file structure the program reads (programs, icons, bitmaps).
#include <cstdint>

namespace rk5::platform {

inline uint16_t LoadU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

inline uint32_t LoadU32(const uint8_t* p) {
  return static_cast<uint32_t>(LoadU16(p)) | (static_cast<uint32_t>(LoadU16(p + 2)) << 16);
}

}  // namespace rk5::platform
