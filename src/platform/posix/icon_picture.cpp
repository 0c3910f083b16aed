#include "platform/posix/icon_picture.h"

#include <QBuffer>
#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QImageIOHandler>
#include <QImageReader>
#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/posix/icon_dib.h"

namespace rk5::platform {
namespace {

constexpr uint8_t kPngSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

bool StartsWith(std::span<const uint8_t> head, std::span<const uint8_t> magic) {
  return head.size() >= magic.size() && std::equal(magic.begin(), magic.end(), head.begin());
}

// The largest size with the picture's proportions that fits 32 × 32, at least 1 × 1.
QSize FittedSize(int width, int height) {
  const double scale = static_cast<double>(kIconPictureSize) / std::max(width, height);
  return QSize(std::clamp(static_cast<int>(std::lround(width * scale)), 1, kIconPictureSize),
               std::clamp(static_cast<int>(std::lround(height * scale)), 1, kIconPictureSize));
}

IconPicture FromImage(const QImage& source) {
  const QImage image = source.convertToFormat(QImage::Format_ARGB32);
  IconPicture picture;
  picture.width = image.width();
  picture.height = image.height();
  picture.pixels.resize(static_cast<size_t>(picture.width) * picture.height);
  for (int y = 0; y < picture.height; ++y) {
    std::memcpy(&picture.pixels[static_cast<size_t>(y) * picture.width], image.constScanLine(y),
                sizeof(uint32_t) * picture.width);
  }
  return picture;
}

QImage ToImage(const IconPicture& picture) {
  QImage image(picture.width, picture.height, QImage::Format_ARGB32);
  for (int y = 0; y < picture.height; ++y) {
    std::memcpy(image.scanLine(y), &picture.pixels[static_cast<size_t>(y) * picture.width],
                sizeof(uint32_t) * picture.width);
  }
  return image;
}

// Only a picture whose header gives a size of at most kMaxIconSourceSide on each side is
// decoded. scales_while_decoding: the reader makes the small picture without the full one
// (JPEG).
std::optional<IconPicture> Read(QIODevice& device, const char* format, bool scales_while_decoding) {
  QImageReader reader(&device, format);
  reader.setDecideFormatFromContent(false);
  const QSize size = reader.size();
  if (!size.isValid() || size.isEmpty() || size.width() > kMaxIconSourceSide ||
      size.height() > kMaxIconSourceSide) {
    return std::nullopt;
  }
  if (scales_while_decoding && reader.supportsOption(QImageIOHandler::ScaledSize) &&
      (size.width() > kIconPictureSize || size.height() > kIconPictureSize)) {
    reader.setScaledSize(FittedSize(size.width(), size.height()));
  }
  QImage image;
  if (!reader.read(&image) || image.isNull()) return std::nullopt;
  return FitToIconSize(FromImage(image));
}

const char* QtFormat(ImageFormat format) {
  switch (format) {
    case ImageFormat::kPng:
      return "png";
    case ImageFormat::kJpeg:
      return "jpeg";
    case ImageFormat::kGif:
      return "gif";
    case ImageFormat::kBmp:
      return "bmp";
    default:
      return nullptr;
  }
}

}  // namespace

ImageFormat SniffImageFormat(std::span<const uint8_t> head) {
  static constexpr uint8_t kJpeg[] = {0xFF, 0xD8, 0xFF};
  static constexpr uint8_t kGif87[] = {'G', 'I', 'F', '8', '7', 'a'};
  static constexpr uint8_t kGif89[] = {'G', 'I', 'F', '8', '9', 'a'};
  static constexpr uint8_t kBmp[] = {'B', 'M'};
  static constexpr uint8_t kIcon[] = {0, 0, 1, 0};
  if (StartsWith(head, kPngSignature)) return ImageFormat::kPng;
  if (StartsWith(head, kJpeg)) return ImageFormat::kJpeg;
  if (StartsWith(head, kGif87) || StartsWith(head, kGif89)) return ImageFormat::kGif;
  if (StartsWith(head, kBmp)) return ImageFormat::kBmp;
  // An icon file's header, with at least one image.
  if (StartsWith(head, kIcon) && head.size() >= 6 && (head[4] | head[5]) != 0) {
    return ImageFormat::kIcon;
  }
  return ImageFormat::kNone;
}

IconPicture FitToIconSize(const IconPicture& picture) {
  if (picture.width == kIconPictureSize && picture.height == kIconPictureSize) return picture;
  const QSize fitted = FittedSize(picture.width, picture.height);
  const QImage scaled =
      ToImage(picture).scaled(fitted, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  const IconPicture inner = FromImage(scaled);
  IconPicture out;
  out.width = kIconPictureSize;
  out.height = kIconPictureSize;
  out.pixels.assign(kIconPictureSize * kIconPictureSize, 0);
  const int left = (kIconPictureSize - inner.width) / 2;
  const int top = (kIconPictureSize - inner.height) / 2;
  for (int y = 0; y < inner.height; ++y) {
    std::copy_n(&inner.pixels[static_cast<size_t>(y) * inner.width], inner.width,
                &out.pixels[static_cast<size_t>(top + y) * kIconPictureSize + left]);
  }
  return out;
}

std::optional<IconPicture> DecodeIconImage(std::span<const uint8_t> data) {
  if (StartsWith(data, kPngSignature)) {
    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data.data()),
                                               static_cast<qsizetype>(data.size()));
    QBuffer buffer(&bytes);
    if (!buffer.open(QIODevice::ReadOnly)) return std::nullopt;
    return Read(buffer, "png", false);
  }
  std::optional<IconPicture> picture = DecodeDibIcon(data);
  if (!picture) return std::nullopt;
  return FitToIconSize(*picture);
}

std::optional<IconPicture> ReadImageFile(int fd, ImageFormat format) {
  const char* qt_format = QtFormat(format);
  if (qt_format == nullptr) return std::nullopt;
  QFile file;
  if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::DontCloseHandle)) return std::nullopt;
  return Read(file, qt_format, format == ImageFormat::kJpeg);
}

}  // namespace rk5::platform
