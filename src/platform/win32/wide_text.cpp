#include "platform/win32/wide_text.h"

#include <windows.h>

namespace rk5::platform {
namespace {

// Below this a path needs no long form; MAX_PATH counts the closing NUL.
constexpr std::size_t kShortPathLength = MAX_PATH - 12;  // room for a temporary's suffix

bool IsDriveAbsolute(std::wstring_view path) {
  return path.size() >= 3 && path[1] == L':' && path[2] == L'\\';
}

}  // namespace

std::wstring Widen(std::string_view utf8) {
  if (utf8.empty()) return {};
  const int size = static_cast<int>(utf8.size());
  const int length = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), size, nullptr, 0);
  if (length <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), size, wide.data(), length);
  return wide;
}

std::string Narrow(std::wstring_view utf16) {
  if (utf16.empty()) return {};
  const int size = static_cast<int>(utf16.size());
  const int length =
      ::WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, utf16.data(), size, nullptr, 0, nullptr, nullptr);
  if (length <= 0) return {};
  std::string narrow(static_cast<std::size_t>(length), '\0');
  ::WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, utf16.data(), size, narrow.data(), length,
                        nullptr, nullptr);
  return narrow;
}

std::wstring WidePath(std::string_view path) {
  std::wstring wide = Widen(path);
  for (wchar_t& c : wide) {
    if (c == L'/') c = L'\\';
  }
  if (wide.size() >= kShortPathLength && IsDriveAbsolute(wide)) return L"\\\\?\\" + wide;
  if (wide.size() >= kShortPathLength && wide.rfind(L"\\\\", 0) == 0 && wide.rfind(L"\\\\?\\", 0) != 0) {
    return L"\\\\?\\UNC\\" + wide.substr(2);
  }
  return wide;
}

bool IsFolder(const std::string& path) {
  const std::wstring wide = WidePath(path);
  const DWORD attributes = wide.empty() ? INVALID_FILE_ATTRIBUTES : ::GetFileAttributesW(wide.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool IsAbsolutePath(std::string_view path) {
  auto separator = [](char c) { return c == '\\' || c == '/'; };
  return (path.size() >= 3 && path[1] == ':' && separator(path[2])) ||
         (path.size() >= 2 && separator(path[0]) && separator(path[1]));
}

std::string FolderPart(std::string_view path) {
  const std::size_t separator = path.find_last_of("/\\");
  if (separator == std::string_view::npos) return {};
  return std::string(path.substr(0, separator + 1));
}

}  // namespace rk5::platform
