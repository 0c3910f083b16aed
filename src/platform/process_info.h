#pragma once
#include <cstdint>
#include <string>

namespace rk5::platform {

// The running executable's full path.
std::string ExecutablePath();

// This process's identifier, unique among the processes running now.
std::uint64_t ProcessId();

}  // namespace rk5::platform
