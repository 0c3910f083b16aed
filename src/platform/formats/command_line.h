#pragma once
// Command lines split the Windows way: blanks separate arguments, double quotes group
// (and are dropped); there are no escapes, so "C:\Tools\" stays as it is.
#include <string>
#include <string_view>
#include <vector>

namespace rk5::platform {

std::vector<std::string> SplitArguments(std::string_view command_line);

// Whether what a program start is given is an address ("scheme:" with a scheme of two
// characters or more), not a file; one letter and a colon is a Windows drive.
bool IsAddress(std::string_view text);

}  // namespace rk5::platform
