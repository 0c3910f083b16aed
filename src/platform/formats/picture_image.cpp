#include "platform/formats/picture_image.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include <QBuffer>
#include <QByteArray>

#include "platform/formats/icon_picture.h"

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
    std::memcpy(&picture.pixels[static_cast<std::size_t>(y) * picture.width],
                image.constScanLine(y), sizeof(uint32_t) * picture.width);
  }
  return picture;
}

QSize FittedIconSize(int width, int height) {
  const double scale = static_cast<double>(kIconPictureSize) / std::max(width, height);
  return QSize(std::clamp(static_cast<int>(std::lround(width * scale)), 1, kIconPictureSize),
               std::clamp(static_cast<int>(std::lround(height * scale)), 1, kIconPictureSize));
}

std::optional<IconPicture> DecodePicture(std::span<const uint8_t> bytes, const char* format,
                                         const PrepareReader& prepare) {
  QByteArray data = QByteArray::fromRawData(reinterpret_cast<const char*>(bytes.data()),
                                            static_cast<qsizetype>(bytes.size()));
  QBuffer buffer(&data);
  if (!buffer.open(QIODevice::ReadOnly)) return std::nullopt;
  QImageReader reader(&buffer, format);
  reader.setDecideFormatFromContent(false);
  const QSize size = reader.size();
  if (!size.isValid() || size.isEmpty() || !prepare(reader, size)) return std::nullopt;
  QImage image;
  if (!reader.read(&image) || image.isNull()) return std::nullopt;
  return FitToIconSize(PictureOfImage(image));
}

}  // namespace rk5::platform
