#pragma once
// What an entry's stored host system and external attributes mean on this system.
#include <cstdint>

namespace rk5 {

// The entry was stored as a symbolic link by a Unix system.
bool IsLinkEntry(std::uint8_t host_system, std::uint32_t attributes);

struct AttributesToRestore {
  enum class What { kNothing, kPermissionBits, kReadOnly };
  What what = What::kNothing;
  unsigned permission_bits = 0;  // for kPermissionBits: rwx bits only, never set-id or sticky
};

// Archives made on a Unix system carry permission bits in the upper half; all others
// carry DOS attributes, of which only read-only means anything here.
AttributesToRestore AttributesFor(std::uint8_t host_system, std::uint32_t attributes);

}  // namespace rk5
