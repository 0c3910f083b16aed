#include "platform/free_space.h"

#include <sys/statvfs.h>

namespace rk5::platform {
namespace {

class PosixFreeSpace final : public FreeSpace {
 public:
  std::optional<std::uint64_t> AvailableBytes(const std::string& folder) override {
    struct statvfs fs {};
    if (::statvfs(folder.c_str(), &fs) != 0) return std::nullopt;
    return static_cast<std::uint64_t>(fs.f_bavail) * static_cast<std::uint64_t>(fs.f_frsize);
  }

  std::optional<std::uint64_t> TotalBytes(const std::string& folder) override {
    struct statvfs fs {};
    if (::statvfs(folder.c_str(), &fs) != 0) return std::nullopt;
    return static_cast<std::uint64_t>(fs.f_blocks) * static_cast<std::uint64_t>(fs.f_frsize);
  }
};

}  // namespace

std::unique_ptr<FreeSpace> MakeFreeSpace() { return std::make_unique<PosixFreeSpace>(); }

}  // namespace rk5::platform
