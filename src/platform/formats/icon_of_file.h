#pragma once
// The first icon in a file's bytes, whatever system read them.
#include <optional>

#include "platform/formats/icon_byte_source.h"
#include "platform/icon_extraction.h"

namespace rk5::platform {

// A program's first icon resource, an icon file's chosen image, or an image file's own
// picture (one of at most kMaxIconFileBytes), fitted to 32 × 32; none for anything else.
std::optional<IconPicture> IconOfFile(const ByteSource& file);

}  // namespace rk5::platform
