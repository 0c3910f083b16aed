#include "platform/formats/picture_image.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace rk5::platform {

QImage ImageOfPicture(const IconPicture& picture) {
  QImage image(picture.width, picture.height, QImage::Format_ARGB32);
  for (int y = 0; y < picture.height; ++y) {
    std::memcpy(image.scanLine(y), &picture.pixels[static_cast<std::size_t>(y) * picture.width],
                sizeof(uint32_t) * picture.width);
  }
  return image;
}

IconPicture PictureOfImage(const QImage& source) {
  const QImage image = source.convertToFormat(QImage::Format_ARGB32);
  IconPicture picture{image.width(), image.height(), {}};
  picture.pixels.resize(static_cast<std::size_t>(picture.width) * picture.height);
  for (int y = 0; y < picture.height; ++y) {
    std::memcpy(&picture.pixels[static_cast<std::size_t>(y) * picture.width], image.constScanLine(y),
                sizeof(uint32_t) * picture.width);
  }
  return picture;
}

QSize FittedIconSize(int width, int height) {
  const double scale = static_cast<double>(kIconPictureSize) / std::max(width, height);
  return QSize(std::clamp(static_cast<int>(std::lround(width * scale)), 1, kIconPictureSize),
               std::clamp(static_cast<int>(std::lround(height * scale)), 1, kIconPictureSize));
}

}  // namespace rk5::platform
