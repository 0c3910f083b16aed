#pragma once
// Icon pictures as toolkit images and back, for reading and writing image files.
#include <QImage>
#include <QImageReader>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>

#include "platform/icon_extraction.h"

namespace rk5::platform {

QImage ImageOfPicture(const IconPicture& picture);
IconPicture PictureOfImage(const QImage& image);

// The largest size with the proportions of width × height that fits the icon picture's
// square, at least 1 × 1.
QSize FittedIconSize(int width, int height);

// The picture in bytes of format, fitted to 32 × 32. prepare sees the reader and the size
// the header declares before anything is decoded, and may refuse it (false) or set the
// reader up; none as well for a header without a size and for bytes that do not decode.
using PrepareReader = std::function<bool(QImageReader& reader, QSize declared)>;
std::optional<IconPicture> DecodePicture(std::span<const uint8_t> bytes, const char* format,
                                         const PrepareReader& prepare);

}  // namespace rk5::platform
