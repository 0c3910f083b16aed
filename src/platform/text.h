#pragma once
// Small text helpers every layer shares (INI names, registry paths, HTTP headers, file
// paths). They sit at the bottom so that each layer may use them.
#include <string>
#include <string_view>

namespace rk5::platform {

// Lower case for the letters A to Z only; every other byte is kept. Names that match
// "without regard to letter case" compare folded.
std::string FoldCase(std::string_view text);
bool EqualsFolded(std::string_view a, std::string_view b);

// text without the given blanks at either end.
inline constexpr std::string_view kBlanks = " \t";
std::string_view Trim(std::string_view text, std::string_view blanks = kBlanks);

// The folder part of a full path, with its trailing separator; empty without one.
std::string FolderOfPath(std::string_view full_path);

}  // namespace rk5::platform
