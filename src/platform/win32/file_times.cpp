#include "platform/file_times.h"

#include <windows.h>

#include "platform/win32/wide_text.h"

namespace rk5::platform {
namespace {

// FILETIME counts 100 ns from 1601-01-01 UTC.
constexpr std::int64_t kTicksPerSecond = 10000000;
constexpr std::int64_t kSecondsFrom1601To1970 = 11644473600;

class Win32FileTimes final : public FileTimes {
 public:
  bool SetModificationTime(const std::string& path, std::int64_t seconds) override {
    if (seconds < -kSecondsFrom1601To1970 || seconds > INT64_MAX / kTicksPerSecond - kSecondsFrom1601To1970) {
      return false;
    }
    const std::wstring wide = WidePath(path);
    if (wide.empty()) return false;
    const HANDLE file = ::CreateFileW(wide.c_str(), FILE_WRITE_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const std::uint64_t ticks = static_cast<std::uint64_t>((seconds + kSecondsFrom1601To1970) * kTicksPerSecond);
    FILETIME written{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    const bool ok = ::SetFileTime(file, nullptr, nullptr, &written) != 0;  // access time left alone
    ::CloseHandle(file);
    return ok;
  }
};

}  // namespace

std::unique_ptr<FileTimes> MakeFileTimes() { return std::make_unique<Win32FileTimes>(); }

}  // namespace rk5::platform
