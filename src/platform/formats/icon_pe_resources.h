#pragma once
// A program's first icon, found by hand in its PE structure: DOS header, PE header,
// section table, resource directory (type, name, language), icon group, icon image.
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/formats/icon_byte_source.h"

namespace rk5::platform {

// The file begins like a PE program ("MZ").
bool LooksLikeProgram(const ByteSource& file);

// The image bytes (PNG or DIB) that the program's first icon group chooses for 32 × 32.
// None for a program without icons and for any structure that does not fit the file.
std::optional<std::vector<uint8_t>> FirstProgramIconImage(const ByteSource& file);

}  // namespace rk5::platform
