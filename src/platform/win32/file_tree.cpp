#include "platform/file_tree.h"

#include <windows.h>

#include "platform/win32/file_handle.h"
#include "platform/win32/wide_text.h"

namespace rk5::platform {
namespace {

DWORD AttributesOf(const std::string& path) {
  const std::wstring wide = WidePath(path);
  return wide.empty() ? INVALID_FILE_ATTRIBUTES : ::GetFileAttributesW(wide.c_str());
}

bool IsFolderAttributes(DWORD attributes) {
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

class Win32FileTree final : public FileTree {
 public:
  // A link or junction to a folder counts, as a link to one does elsewhere.
  bool FolderExists(const std::string& path) override {
    const std::wstring wide = WidePath(path);
    if (wide.empty()) return false;
    FileHandle folder(::CreateFileW(wide.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    return folder.valid() && ::GetFileInformationByHandle(folder.get(), &info) &&
           (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  }

  // The attributes of a link are its own, so a dangling one counts.
  bool Exists(const std::string& path) override { return AttributesOf(path) != INVALID_FILE_ATTRIBUTES; }

  bool CreateFolders(const std::string& path) override {
    if (path.empty()) return false;
    // Each folder from the root down; those that exist are passed over.
    for (std::size_t at = 0; at <= path.size(); ++at) {
      if (at < path.size() && !IsSeparator(path[at])) continue;
      const std::string prefix = path.substr(0, at);
      if (prefix.empty() || prefix.back() == ':' || IsFolderAttributes(AttributesOf(prefix))) continue;
      if (!::CreateDirectoryW(WidePath(prefix).c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS) {
        return false;
      }
    }
    return FolderExists(path);
  }

  // One step at a time below base; a step that is a link or junction ends it, so nothing is
  // made where one leads.
  bool CreateFoldersBelow(const std::string& base, const std::string& folder) override {
    if (folder.compare(0, base.size(), base) != 0 || !FolderExists(base)) return false;
    for (std::size_t at = base.size() + 1; at <= folder.size(); ++at) {
      if (at < folder.size() && !IsSeparator(folder[at])) continue;
      const std::string step = folder.substr(0, at);
      if (IsSeparator(step.back())) continue;
      DWORD attributes = AttributesOf(step);
      if (attributes == INVALID_FILE_ATTRIBUTES) {
        if (!::CreateDirectoryW(WidePath(step).c_str(), nullptr) &&
            ::GetLastError() != ERROR_ALREADY_EXISTS) {
          return false;
        }
        attributes = AttributesOf(step);
      }
      if (!IsFolderAttributes(attributes) || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        return false;
      }
    }
    return true;
  }

  // A running program, a read-only file and a file another program holds without sharing
  // all refuse to open for writing.
  bool CanOpenForWriting(const std::string& path) override {
    const std::wstring wide = WidePath(path);
    if (wide.empty()) return false;
    FileHandle file(::CreateFileW(wide.c_str(), GENERIC_WRITE, kShareAll, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    return file.valid() && IsDiskFile(file.get());
  }

  bool RemoveFile(const std::string& path) override {
    const std::wstring wide = WidePath(path);
    return !wide.empty() && ::DeleteFileW(wide.c_str()) != 0;
  }

  // Links, junctions and mount points are all reparse points.
  bool LinkBetween(const std::string& base, const std::string& folder) override {
    // Not below base: every folder of it counts.
    const std::size_t first = folder.compare(0, base.size(), base) == 0 ? base.size() : 0;
    for (std::size_t at = first + 1; at <= folder.size(); ++at) {
      if (at < folder.size() && !IsSeparator(folder[at])) continue;
      const std::string prefix = folder.substr(0, at);
      if (IsSeparator(prefix.back()) || prefix.back() == ':') continue;
      const DWORD attributes = AttributesOf(prefix);
      if (attributes == INVALID_FILE_ATTRIBUTES) return false;  // nothing further exists
      if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return true;
    }
    return false;
  }
};

}  // namespace

char PathSeparator() { return '\\'; }

std::unique_ptr<FileTree> MakeFileTree() { return std::make_unique<Win32FileTree>(); }

}  // namespace rk5::platform
