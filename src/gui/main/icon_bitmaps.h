#pragma once
// The dimmed tool icons of the list: the icon drawn on the list background, then every
// pixel moved toward the selected row's background by a percentage.
#include <cstdint>

#include "catalogue/program_entry.h"

namespace rk5 {

inline constexpr int kIconBitmapSize = 32;
inline constexpr int kIconNormalPercent = 45;
inline constexpr int kIconSelectedPercent = 30;

// Moves channel a toward channel b by percent, in double precision, unrounded.
double BlendChannel(int a, int b, int percent);

// The colour the drawing device shows for rgb; every bitmap here is true colour, so it
// is rgb itself.
uint32_t NearestColor(uint32_t rgb);

// Colour blended toward target by percent (capped at 100), each channel rounded to the
// nearest integer with halves to the even neighbour. Colours are 0xRRGGBB; any higher
// byte is ignored and the result has none.
uint32_t BlendColor(uint32_t colour, uint32_t target, int percent);

// Every pixel, row by row from the top, blended toward the selected row's background (#303030);
// alpha is left as it is.
void DimBitmap(IconBitmap& bitmap, int percent);

// A new opaque 32 × 32 bitmap: the list background, the icon (when there is one) drawn
// at 0, 0 over it with its own transparency, then dimmed by percent.
IconBitmap MakeIconBitmap(const IconBitmap* icon, int percent);

// Builds an entry's IconNormal and then IconSelected when Path + ExeName is an existing
// file, from that file's first icon or, without one, from the plain background. The
// builder refers to icons, which must outlive it.
IconBuilder MakeIconBuilder(platform::IconExtraction& icons);

}  // namespace rk5
