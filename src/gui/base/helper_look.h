#pragma once
// The look every window shares (its colours are in ui/palette.h): the window font and the base
// window's fixed geometry (client coordinates; the windows have no frame).
#include <QFont>

namespace rk5 {

struct HelperGeometry {
  int band_height;     // title band: rows 0 .. band_height - 1; presses above it move
  int caption_x;       // caption origin without an icon
  int caption_x_icon;  // caption origin beside an icon
  int caption_y;
  int icon_x, icon_y;
  int close_top, close_width, close_height;
  int close_right_gap;  // the close button's right edge this far inside the window's
};

inline constexpr HelperGeometry kHelperGeometry{
    .band_height = 24,
    .caption_x = 6,
    .caption_x_icon = 25,
    .caption_y = 6,
    .icon_x = 6,
    .icon_y = 6,
    .close_top = 5,
    .close_width = 16,
    .close_height = 16,
    .close_right_gap = 4,
};

// Verdana 8 points, every window's font (fontconfig maps it to DejaVu Sans where Verdana
// is missing; 11 pixels at 96 dots per inch).
QFont HelperFont();

}  // namespace rk5
