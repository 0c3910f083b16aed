#pragma once
// A Linux program carries no icon resources: an image beside it with its base name
// (tool → tool.png; tool.sh → tool.png) stands in for its first icon.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/icon_extraction.h"

namespace rk5::platform {

// The images that may stand in for path's icon, in the order they are tried
// (.png, .svg, .xpm, .ico); path itself is never one of them.
std::vector<std::string> ImagesBeside(const std::string& path);

// An icon drawing is small; a larger file is not read.
inline constexpr uint64_t kMaxDrawingBytes = 4 << 20;

// The drawing format path names by its extension ("svg", "xpm"); null for any other.
const char* DrawingFormat(const std::string& path);

// A drawing of that format, fitted to 32 × 32; none for a damaged or oversized one.
std::optional<IconPicture> DecodeDrawing(std::span<const uint8_t> bytes, const char* format);

}  // namespace rk5::platform
