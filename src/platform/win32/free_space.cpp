#include "platform/free_space.h"

#include <windows.h>

#include "platform/win32/wide_text.h"

namespace rk5::platform {
namespace {

class Win32FreeSpace final : public FreeSpace {
 public:
  // Free to this user: quotas count, as the unprivileged share does elsewhere.
  std::optional<std::uint64_t> AvailableBytes(const std::string& folder) override {
    ULARGE_INTEGER available{}, total{};
    if (!Query(folder, available, total)) return std::nullopt;
    return available.QuadPart;
  }

  std::optional<std::uint64_t> TotalBytes(const std::string& folder) override {
    ULARGE_INTEGER available{}, total{};
    if (!Query(folder, available, total)) return std::nullopt;
    return total.QuadPart;
  }

 private:
  static bool Query(const std::string& folder, ULARGE_INTEGER& available, ULARGE_INTEGER& total) {
    const std::wstring path = WidePath(folder);
    return !path.empty() && ::GetDiskFreeSpaceExW(path.c_str(), &available, &total, nullptr) != 0;
  }
};

}  // namespace

std::unique_ptr<FreeSpace> MakeFreeSpace() { return std::make_unique<Win32FreeSpace>(); }

}  // namespace rk5::platform
