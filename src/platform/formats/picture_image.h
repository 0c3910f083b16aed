#pragma once
// Icon pictures as toolkit images and back, for reading and writing image files.
#include <QImage>

#include "platform/icon_extraction.h"

namespace rk5::platform {

QImage ImageOfPicture(const IconPicture& picture);
IconPicture PictureOfImage(const QImage& image);

// The largest size with the proportions of width × height that fits the icon picture's
// square, at least 1 × 1.
QSize FittedIconSize(int width, int height);

}  // namespace rk5::platform
