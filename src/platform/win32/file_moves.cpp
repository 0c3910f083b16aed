#include "platform/file_moves.h"

#include <windows.h>

#include <functional>
#include <string>

#include "platform/win32/wide_text.h"

namespace rk5::platform {
namespace {

struct Entry {
  std::string name;
  DWORD attributes;
};

// The entries of folder ("." and ".." left out); false when it cannot be read whole.
bool ReadFolder(const std::string& folder, std::vector<Entry>& entries) {
  const std::wstring pattern = WidePath(folder + "\\*");
  if (pattern.empty()) return false;
  WIN32_FIND_DATAW found{};
  const HANDLE search = ::FindFirstFileW(pattern.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return false;
  bool whole = true;
  do {
    const std::wstring_view name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    const std::string narrow = Narrow(name);
    whole = whole && !narrow.empty();
    entries.push_back({narrow, found.dwFileAttributes});
  } while (::FindNextFileW(search, &found));
  whole = whole && ::GetLastError() == ERROR_NO_MORE_FILES;
  ::FindClose(search);
  return whole;
}

// A folder to walk into: a real one, not a link or junction to one elsewhere.
bool IsRealFolder(DWORD attributes) {
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
}

bool Remove(const std::string& path, DWORD attributes) {
  const std::wstring wide = WidePath(path);
  if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) {
    ::SetFileAttributesW(wide.c_str(), attributes & ~DWORD{FILE_ATTRIBUTE_READONLY});
  }
  // A link or junction to a folder is removed as a folder, without touching its target.
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return ::RemoveDirectoryW(wide.c_str()) != 0;
  return ::DeleteFileW(wide.c_str()) != 0;
}

class Win32FileMoves final : public FileMoves {
 public:
  // The volume and the file's index on it; a link is opened itself, not followed.
  std::string IdentityOf(const std::string& path) override {
    const std::wstring wide = WidePath(path);
    if (wide.empty()) return {};
    const HANDLE file = ::CreateFileW(wide.c_str(), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) return {};
    BY_HANDLE_FILE_INFORMATION info{};
    const bool known = ::GetFileInformationByHandle(file, &info) != 0;
    ::CloseHandle(file);
    if (!known) return {};
    return std::to_string(info.dwVolumeSerialNumber) + ":" +
           std::to_string((static_cast<unsigned long long>(info.nFileIndexHigh) << 32) |
                          info.nFileIndexLow);
  }

  bool Move(const std::string& from, const std::string& to) override {
    const std::wstring wide_from = WidePath(from), wide_to = WidePath(to);
    return !wide_from.empty() && !wide_to.empty() &&
           ::MoveFileExW(wide_from.c_str(), wide_to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
  }

  bool KeepAside(const std::string& path, const std::string& aside) override {
    const std::wstring wide_path = WidePath(path), wide_aside = WidePath(aside);
    if (wide_path.empty() || wide_aside.empty()) return false;
    if (::CreateHardLinkW(wide_aside.c_str(), wide_path.c_str(), nullptr)) return true;
    return ::MoveFileExW(wide_path.c_str(), wide_aside.c_str(), 0) != 0;  // never over an existing one
  }

  std::optional<TreeListing> List(const std::string& folder) override {
    TreeListing listing;
    const std::function<bool(const std::string&)> walk = [&](const std::string& relative) {
      std::vector<Entry> entries;
      if (!ReadFolder(relative.empty() ? folder : folder + "\\" + relative, entries)) return false;
      for (const Entry& entry : entries) {
        const std::string path = relative.empty() ? entry.name : relative + "/" + entry.name;
        if (IsRealFolder(entry.attributes)) {
          listing.folders.push_back(path);
          if (!walk(path)) return false;
        } else {
          listing.files.push_back(path);
        }
      }
      return true;
    };
    if (!walk("")) return std::nullopt;
    return listing;
  }

  std::vector<std::string> Names(const std::string& folder) override {
    std::vector<Entry> entries;
    if (!ReadFolder(folder, entries)) return {};
    std::vector<std::string> names;
    for (Entry& entry : entries) names.push_back(std::move(entry.name));
    return names;
  }

  bool RemoveEmptyFolder(const std::string& path) override {
    const std::wstring wide = WidePath(path);
    return !wide.empty() && ::RemoveDirectoryW(wide.c_str()) != 0;
  }

  bool RemoveTree(const std::string& path) override {
    const std::wstring wide = WidePath(path);
    const DWORD attributes = wide.empty() ? INVALID_FILE_ATTRIBUTES : ::GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return !wide.empty() && ::GetLastError() == ERROR_FILE_NOT_FOUND;
    if (IsRealFolder(attributes)) {
      std::vector<Entry> entries;
      ReadFolder(path, entries);
      for (const Entry& entry : entries) RemoveTree(path + "\\" + entry.name);
    }
    Remove(path, attributes);
    return ::GetFileAttributesW(wide.c_str()) == INVALID_FILE_ATTRIBUTES;
  }
};

}  // namespace

std::unique_ptr<FileMoves> MakeFileMoves() { return std::make_unique<Win32FileMoves>(); }

}  // namespace rk5::platform
