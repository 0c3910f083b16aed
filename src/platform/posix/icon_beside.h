#pragma once
// A Linux program carries no icon resources: an image beside it with its base name
// (tool → tool.png; tool.sh → tool.png) stands in for its first icon.
#include <optional>
#include <string>
#include <vector>

#include "platform/icon_extraction.h"

namespace rk5::platform {

// The images that may stand in for path's icon, in the order they are tried
// (.png, .svg, .xpm, .ico); path itself is never one of them.
std::vector<std::string> ImagesBeside(const std::string& path);

// A drawing read by its name's extension (.svg, .xpm), fitted to 32 × 32; none for any
// other name and for a damaged or oversized file.
std::optional<IconPicture> ReadDrawing(const std::string& path);

}  // namespace rk5::platform
