#pragma once
#include <string>

namespace rk5::platform {

// The running executable's full path.
std::string ExecutablePath();

}  // namespace rk5::platform
