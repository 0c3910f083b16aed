#include "install/archive_attributes.h"

namespace rk5 {
namespace {

// Host systems of the ZIP "version made by" field that store Unix modes.
constexpr std::uint8_t kHostUnix = 3;
constexpr std::uint8_t kHostMacOsX = 19;

// The file-type field of a Unix mode as ZIP stores it.
constexpr std::uint32_t kTypeMask = 0170000;
constexpr std::uint32_t kTypeLink = 0120000;

constexpr std::uint32_t kDosReadOnly = 0x01;

bool IsUnixHost(std::uint8_t host) { return host == kHostUnix || host == kHostMacOsX; }

}  // namespace

bool IsLinkEntry(std::uint8_t host_system, std::uint32_t attributes) {
  return IsUnixHost(host_system) && ((attributes >> 16) & kTypeMask) == kTypeLink;
}

AttributesToRestore AttributesFor(std::uint8_t host_system, std::uint32_t attributes) {
  std::uint32_t mode = attributes >> 16;
  // Some Unix archivers leave the mode out; the DOS half is then all there is.
  if (IsUnixHost(host_system) && mode != 0) {
    return {AttributesToRestore::What::kPermissionBits, static_cast<unsigned>(mode & 0777)};
  }
  if ((attributes & kDosReadOnly) != 0) return {AttributesToRestore::What::kReadOnly, 0};
  return {};
}

}  // namespace rk5
