#pragma once
// Icon pictures as toolkit images and back, for reading and writing image files.
#include <QImage>

#include "platform/icon_extraction.h"

namespace rk5::platform {

QImage ImageOfPicture(const IconPicture& picture);
IconPicture PictureOfImage(const QImage& image);

}  // namespace rk5::platform
