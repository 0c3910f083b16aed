#include "platform/atomic_file.h"

#include <windows.h>

#include <vector>

#include "platform/win32/file_handle.h"
#include "platform/win32/staged_names.h"
#include "platform/win32/wide_text.h"

namespace rk5::platform {

std::optional<std::string> ReadWholeFile(const std::string& path, std::size_t max_size) {
  const std::wstring wide = WidePath(path);
  if (wide.empty()) return std::nullopt;
  // Shared for delete too, so that a writer's replace never fails because we read.
  FileHandle file(::CreateFileW(wide.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  LARGE_INTEGER size{};
  if (!file.valid() || !IsDiskFile(file.get()) || !::GetFileSizeEx(file.get(), &size) ||
      size.QuadPart < 0 || static_cast<std::uint64_t>(size.QuadPart) > max_size) {
    return std::nullopt;
  }
  std::string bytes;
  bytes.reserve(static_cast<std::size_t>(size.QuadPart));
  std::vector<char> block(1 << 16);
  for (;;) {
    DWORD n = 0;
    if (!::ReadFile(file.get(), block.data(), static_cast<DWORD>(block.size()), &n, nullptr)) {
      return std::nullopt;
    }
    if (n == 0) break;
    if (n > max_size - bytes.size()) return std::nullopt;  // grew past the bound meanwhile
    bytes.append(block.data(), n);
  }
  return bytes;
}

FileStamp StampOf(const std::string& path) {
  FileStamp stamp;
  const std::wstring wide = WidePath(path);
  if (wide.empty()) return stamp;
  FileHandle file(::CreateFileW(wide.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  BY_HANDLE_FILE_INFORMATION info{};
  FILE_BASIC_INFO basic{};
  if (!file.valid() || !::GetFileInformationByHandle(file.get(), &info) ||
      !::GetFileInformationByHandleEx(file.get(), FileBasicInfo, &basic, sizeof basic)) {
    return stamp;
  }
  stamp.exists = true;
  stamp.device = info.dwVolumeSerialNumber;
  stamp.inode = (static_cast<unsigned long long>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  stamp.size = (static_cast<unsigned long long>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  // In the file system's own 100 ns ticks: only equality matters.
  stamp.mtime_ns = basic.LastWriteTime.QuadPart;
  stamp.ctime_ns = basic.ChangeTime.QuadPart;
  return stamp;
}

void RemoveLeftoverTemporaries(const std::string& path) {
  const std::string folder = FolderPart(path);
  const std::string prefix = path.substr(folder.size()) + std::string(kTempMark);
  const std::wstring pattern = WidePath(folder + prefix + "*");
  if (pattern.empty()) return;
  WIN32_FIND_DATAW found{};
  const HANDLE search = ::FindFirstFileW(pattern.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    const std::string name = Narrow(found.cFileName);
    if (IsTemporaryOf(prefix, name) && (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
      ::DeleteFileW(WidePath(folder + name).c_str());
    }
  } while (::FindNextFileW(search, &found));
  ::FindClose(search);
}

}  // namespace rk5::platform
