#pragma once
// Every colour the windows draw with, as 0xRRGGBB.
#include <cstdint>

namespace rk5::palette {

inline constexpr uint32_t kWindowBackground = 0x313532;  // windows and the tool list
inline constexpr uint32_t kTitleBand = 0x262626;
inline constexpr uint32_t kOutline = 0x999999;
inline constexpr uint32_t kCaptionText = 0xFFFFFF;
inline constexpr uint32_t kSelectedRow = 0x303030;  // also what tool icons are dimmed toward
inline constexpr uint32_t kOutdated = 0xDEC76B;
inline constexpr uint32_t kReady = 0xFFFFFF;
inline constexpr uint32_t kCredits = 0x859C86;  // credits and hints
inline constexpr uint32_t kSecondary =
    0x808080;  // not installed, "(… installed)", author, gray captions

// The colour with full opacity, as 0xAARRGGBB.
constexpr uint32_t Opaque(uint32_t rgb) { return 0xFF000000u | rgb; }

}  // namespace rk5::palette
