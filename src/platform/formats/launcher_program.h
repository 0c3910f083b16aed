#pragma once
// Which program a Desktop Entry file starts, read back from its text.
#include <string>
#include <string_view>

namespace rk5::platform {

// The file name (last path component) of the program that the first Exec line of a
// Desktop Entry text starts, its quoting undone; a start through env names the program
// after it. Empty when the text has no Exec line or the line names no program.
std::string ExecProgramName(std::string_view text);

}  // namespace rk5::platform
