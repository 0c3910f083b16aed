#include "platform/file_blocks.h"

#include <windows.h>

#include <vector>

#include "platform/win32/file_handle.h"
#include "platform/win32/wide_text.h"

namespace rk5::platform {

bool ReadFileBlocks(const std::string& path,
                    const std::function<bool(const char* data, std::size_t size)>& sink) {
  const std::wstring wide = WidePath(path);
  if (wide.empty()) return false;
  FileHandle file(::CreateFileW(wide.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file.valid() || !IsDiskFile(file.get())) return false;
  std::vector<char> block(1 << 16);
  for (;;) {
    DWORD n = 0;
    if (!::ReadFile(file.get(), block.data(), static_cast<DWORD>(block.size()), &n, nullptr)) return false;
    if (n == 0) return true;
    if (!sink(block.data(), n)) return false;
  }
}

}  // namespace rk5::platform
