#include "platform/formats/icon_picture.h"

#include <QImage>
#include <QImageIOHandler>
#include <QImageReader>
#include <algorithm>

#include "platform/formats/icon_dib.h"
#include "platform/formats/picture_image.h"

namespace rk5::platform {
namespace {

constexpr uint8_t kPngSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

bool StartsWith(std::span<const uint8_t> head, std::span<const uint8_t> magic) {
  return head.size() >= magic.size() && std::equal(magic.begin(), magic.end(), head.begin());
}

// Only a picture whose header gives a size of at most kMaxIconSourceSide on each side is
// decoded. scales_while_decoding: the reader makes the small picture without the full one
// (JPEG).
std::optional<IconPicture> ReadBytes(std::span<const uint8_t> data, const char* format,
                                     bool scales_while_decoding) {
  return DecodePicture(data, format, [&](QImageReader& reader, QSize size) {
    if (size.width() > kMaxIconSourceSide || size.height() > kMaxIconSourceSide) return false;
    if (scales_while_decoding && reader.supportsOption(QImageIOHandler::ScaledSize) &&
        (size.width() > kIconPictureSize || size.height() > kIconPictureSize)) {
      reader.setScaledSize(FittedIconSize(size.width(), size.height()));
    }
    return true;
  });
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
  const QSize fitted = FittedIconSize(picture.width, picture.height);
  const QImage scaled =
      ImageOfPicture(picture).scaled(fitted, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  const IconPicture inner = PictureOfImage(scaled);
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
  if (StartsWith(data, kPngSignature)) return ReadBytes(data, "png", false);
  std::optional<IconPicture> picture = DecodeDibIcon(data);
  if (!picture) return std::nullopt;
  return FitToIconSize(*picture);
}

std::optional<IconPicture> ReadImage(const ByteSource& file, ImageFormat format) {
  const char* qt_format = QtFormat(format);
  if (qt_format == nullptr) return std::nullopt;
  const std::optional<std::vector<uint8_t>> bytes =
      file.ReadBlock(0, file.Size(), kMaxIconFileBytes);
  if (!bytes) return std::nullopt;
  return ReadBytes(*bytes, qt_format, format == ImageFormat::kJpeg);
}

}  // namespace rk5::platform
