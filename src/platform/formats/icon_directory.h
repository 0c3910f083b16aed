#pragma once
// The directory of images that makes up one icon (a program's icon group resource, or
// the header of an icon file), and the choice of the image to show at 32 × 32.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "platform/formats/icon_byte_source.h"

namespace rk5::platform {

struct IconDirEntry {
  int width = 0;  // 1 to 256 as declared
  int height = 0;
  int bit_count = 0;  // as declared, or from the palette size when the entry says 0
  uint32_t bytes = 0;
  // The image's icon resource id in a group; its file offset in an icon file.
  uint32_t locator = 0;
};

enum class IconDirKind { kResourceGroup, kIconFile };

// Every entry of the directory in data; empty when it is no icon directory.
std::vector<IconDirEntry> ParseIconDirectory(std::span<const uint8_t> data, IconDirKind kind);

// The image declared 32 × 32, or else the nearest size (the larger of two equally near);
// then the most colours, then the first. None for an empty directory.
std::optional<size_t> ChooseIconEntry(std::span<const IconDirEntry> entries);

// Largest image an icon may carry; a 256 × 256 one of true colour is well under it.
inline constexpr uint64_t kMaxIconImageBytes = 8u << 20;

// The chosen image's bytes (PNG or DIB) of an icon file; none for a damaged one.
std::optional<std::vector<uint8_t>> IconFileImage(const ByteSource& file);

}  // namespace rk5::platform
