#include "platform/process_info.h"

#include <windows.h>

#include <vector>

#include "platform/win32/wide_text.h"

namespace rk5::platform {

std::string ExecutablePath() {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD n = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return {};
    if (n < buffer.size()) return Narrow(std::wstring_view(buffer.data(), n));
    buffer.resize(buffer.size() * 2);  // cut short: the path is longer
  }
}

std::uint64_t ProcessId() { return ::GetCurrentProcessId(); }

}  // namespace rk5::platform
