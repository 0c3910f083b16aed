#pragma once
// UTF-8 at the layer's interface, UTF-16 at the system's: the conversions, the path form
// the wide file functions take, and the few questions about paths every service asks.
#include <string>
#include <string_view>

namespace rk5::platform {

// Empty for text that is not valid UTF-8 (or UTF-16), so that a bad name never reaches the
// system half converted.
std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view utf16);

// path with "/" turned into "\", and an absolute path past the old 260-character limit
// given the "\\?\" form that lifts it. Empty when path is not UTF-8.
std::wstring WidePath(std::string_view path);

// A folder (or a link to one) is at path.
bool IsFolder(const std::string& path);

// A drive and a separator ("C:\"), or a network path ("\\server\share").
bool IsAbsolutePath(std::string_view path);

// The folder part of a path ended by either separator, with that separator; empty without
// one.
std::string FolderPart(std::string_view path);

}  // namespace rk5::platform
