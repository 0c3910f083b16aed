#pragma once
// The text of a freedesktop Desktop Entry file that starts a program.
#include <optional>
#include <string>
#include <vector>

namespace rk5::platform {

struct DesktopEntry {
  std::string name;                  // shown to the user
  std::vector<std::string> command;  // the program's absolute path, then its arguments
  std::string working_folder;        // empty: none
  std::string comment;               // empty: none
  std::string icon;                  // absolute path of a picture; empty: none
};

// None when the command cannot be written so that it starts exactly that program with
// exactly those arguments (a relative program, "=" in its path, a NUL or control byte,
// bytes that are not UTF-8), or the working folder cannot be written exactly. Texts
// shown to the user are always written: UTF-8 as it is, other bytes each as the
// single-byte character it is, control bytes other than tab and line ends as blanks.
std::optional<std::string> DesktopEntryText(const DesktopEntry& entry);

}  // namespace rk5::platform
