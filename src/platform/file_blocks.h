#pragma once
// Reading a file from start to end in blocks, for work that must not hold it whole.
#include <cstddef>
#include <functional>
#include <string>

namespace rk5::platform {

// Hands every block to sink in order; false when the file cannot be opened or read to
// its end, or when sink returns false.
bool ReadFileBlocks(const std::string& path,
                    const std::function<bool(const char* data, std::size_t size)>& sink);

}  // namespace rk5::platform
