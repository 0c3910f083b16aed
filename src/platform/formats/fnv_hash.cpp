#include "platform/formats/fnv_hash.h"

#include <cstdio>

namespace rk5::platform {

std::string FnvHex(std::string_view bytes, uint64_t hash) {
  char text[17];
  std::snprintf(text, sizeof text, "%016llx",
                static_cast<unsigned long long>(FnvHash(bytes, hash)));
  return text;
}

}  // namespace rk5::platform
