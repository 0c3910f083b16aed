#pragma once
// Free space and size of the file system that holds a folder.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace rk5::platform {

class FreeSpace {
 public:
  virtual ~FreeSpace() = default;
  // Bytes an unprivileged writer may still use there; nullopt when the system cannot tell.
  virtual std::optional<std::uint64_t> AvailableBytes(const std::string& folder) = 0;
  // The size of that file system; nullopt when the system cannot tell.
  virtual std::optional<std::uint64_t> TotalBytes(const std::string& folder) = 0;
};

std::unique_ptr<FreeSpace> MakeFreeSpace();

}  // namespace rk5::platform
