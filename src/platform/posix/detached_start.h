#pragma once
// Starting a program that is on its own from the first instruction: a new session, no
// descriptor of this process but the standard ones (input from the null device), and no
// child left for this process to reap.
#include <string>
#include <vector>

namespace rk5::platform {

// Runs program (a path; no search) with argv in folder. True once program's image has
// replaced the started process; false when the folder, the file or the start failed.
bool StartDetached(const std::string& program, const std::vector<std::string>& argv,
                   const std::string& folder);

}  // namespace rk5::platform
