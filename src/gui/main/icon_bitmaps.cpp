#include "gui/main/icon_bitmaps.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "gui/base/palette.h"
#include "platform/icon_extraction.h"

namespace rk5 {
namespace {

int CapPercent(int percent) {
  // Below 0 would push a channel away from the target and out of its 8 bits.
  return std::clamp(percent, 0, 100);
}

// Nearest integer, an exact half going to the even neighbour, kept within 8 bits (a
// blend of two channels by 0 to 100 percent never leaves them anyway).
uint32_t RoundChannel(double value) {
  value = std::clamp(value, 0.0, 255.0);
  auto whole = static_cast<uint32_t>(value);  // the floor, for a value of at least 0
  const double fraction = value - whole;
  if (fraction > 0.5 || (fraction == 0.5 && (whole & 1u) != 0)) ++whole;
  return whole;
}

// Colours here are plain RGB already (there are no system colours to look up).
uint32_t ResolveColor(uint32_t colour) { return colour & 0xFFFFFFu; }

int Channel(uint32_t rgb, int shift) { return static_cast<int>((rgb >> shift) & 0xFFu); }

// Source-over: the icon pixel with its alpha on an opaque background pixel.
uint32_t Composite(uint32_t over, uint32_t under) {
  const uint32_t alpha = over >> 24;
  uint32_t out = 0xFF000000u;
  for (int shift = 0; shift <= 16; shift += 8) {
    const uint32_t s = (over >> shift) & 0xFFu;
    const uint32_t d = (under >> shift) & 0xFFu;
    // (x + 127) / 255 is x / 255 rounded; an exact half cannot occur with an odd divisor.
    out |= ((s * alpha + d * (255u - alpha) + 127u) / 255u) << shift;
  }
  return out;
}

}  // namespace

double BlendChannel(int a, int b, int percent) {
  if (b > a) return a + (b - a) / 100.0 * percent;
  if (b < a) return a - (a - b) / 100.0 * percent;
  return a;
}

uint32_t NearestColor(uint32_t rgb) { return rgb; }

uint32_t BlendColor(uint32_t colour, uint32_t target, int percent) {
  const uint32_t from = ResolveColor(colour);
  const uint32_t to = ResolveColor(target);
  percent = CapPercent(percent);
  uint32_t rgb = 0;
  for (int shift = 0; shift <= 16; shift += 8) {
    rgb |= RoundChannel(BlendChannel(Channel(from, shift), Channel(to, shift), percent)) << shift;
  }
  return NearestColor(rgb);
}

void DimBitmap(IconBitmap& bitmap, int percent) {
  percent = CapPercent(percent);
  const size_t width = static_cast<size_t>(std::max(bitmap.width, 0));
  const size_t height = static_cast<size_t>(std::max(bitmap.height, 0));
  const size_t rows = width == 0 ? 0 : std::min(height, bitmap.pixels.size() / width);
  for (size_t y = 0; y < rows; ++y) {
    for (size_t x = 0; x < width; ++x) {
      uint32_t& pixel = bitmap.pixels[y * width + x];
      pixel = (pixel & 0xFF000000u) | BlendColor(pixel, palette::kSelectedRow, percent);
    }
  }
}

IconBitmap MakeIconBitmap(const IconBitmap* icon, int percent) {
  IconBitmap bitmap;
  bitmap.width = kIconBitmapSize;
  bitmap.height = kIconBitmapSize;
  bitmap.pixels.assign(kIconBitmapSize * kIconBitmapSize,
                       palette::Opaque(palette::kWindowBackground));
  // An icon whose pixels do not match its size is not drawn rather than read past its end.
  if (icon != nullptr && icon->width > 0 && icon->height > 0 &&
      icon->pixels.size() == static_cast<size_t>(icon->width) * icon->height) {
    const int width = std::min(icon->width, kIconBitmapSize);
    const int height = std::min(icon->height, kIconBitmapSize);
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        uint32_t& pixel = bitmap.pixels[y * kIconBitmapSize + x];
        pixel = Composite(icon->pixels[static_cast<size_t>(y) * icon->width + x], pixel);
      }
    }
  }
  DimBitmap(bitmap, percent);
  return bitmap;
}

IconBuilder MakeIconBuilder(platform::IconExtraction& icons) {
  return [&icons](TProgram& entry) {
    const std::string file = entry.Path + entry.ExeName;
    if (!icons.IsExistingFile(file)) return;
    const std::optional<IconBitmap> picture = icons.FirstIcon(file);
    const IconBitmap* drawn = picture ? &*picture : nullptr;
    entry.IconNormal = std::make_unique<IconBitmap>(MakeIconBitmap(drawn, kIconNormalPercent));
    entry.IconSelected = std::make_unique<IconBitmap>(MakeIconBitmap(drawn, kIconSelectedPercent));
  };
}

}  // namespace rk5
