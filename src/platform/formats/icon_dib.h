#pragma once
// An icon image stored as a device-independent bitmap: the colour (XOR) rows of 1, 4, 8,
// 24 or 32 bits per pixel from the bottom up, then the 1-bit AND mask of the same size.
#include <cstdint>
#include <optional>
#include <span>

#include "platform/icon_extraction.h"

namespace rk5::platform {

// The largest side a bitmap icon may declare; the group format itself ends there too.
inline constexpr int kMaxDibIconSide = kMaxIconSourceSide;

// The image at its own size with straight alpha: a 32-bit image's alpha when any pixel
// has some, otherwise the AND mask (a set bit is transparent; no mask means opaque).
// None for anything that is not such a bitmap or does not fit its bytes.
std::optional<IconPicture> DecodeDibIcon(std::span<const uint8_t> data);

}  // namespace rk5::platform
