#include "platform/formats/icon_beside.h"

#include <QImageReader>
#include <algorithm>
#include <string_view>

#include "platform/formats/picture_image.h"

namespace rk5::platform {
namespace {

constexpr const char* kExtensions[] = {".png", ".svg", ".xpm", ".ico"};
constexpr qint64 kMaxDecodedPixels = 4096 * 4096;

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() &&
         std::equal(end.rbegin(), end.rend(), text.rbegin(),
                    [](char a, char b) { return a == (b >= 'A' && b <= 'Z' ? b - 'A' + 'a' : b); });
}

}  // namespace

std::vector<std::string> ImagesBeside(const std::string& path) {
  const std::size_t name_at = path.find_last_of('/') + 1;  // 0 when there is no folder
  const std::size_t dot = path.find_last_of('.');
  const bool has_extension = dot != std::string::npos && dot > name_at;
  const std::string base = has_extension ? path.substr(0, dot) : path;
  std::vector<std::string> images;
  if (base.size() <= name_at) return images;
  for (const char* extension : kExtensions) {
    if (base + extension != path) images.push_back(base + extension);
  }
  return images;
}

const char* DrawingFormat(const std::string& path) {
  return EndsWith(path, ".svg") ? "svg" : EndsWith(path, ".xpm") ? "xpm" : nullptr;
}

std::optional<IconPicture> DecodeDrawing(std::span<const uint8_t> bytes, const char* format) {
  if (format == nullptr || bytes.empty() || bytes.size() > kMaxDrawingBytes) return std::nullopt;
  const bool pixels = std::string_view(format) == "xpm";
  return DecodePicture(bytes, format, [pixels](QImageReader& reader, QSize size) {
    if (pixels) return qint64{size.width()} * size.height() <= kMaxDecodedPixels;
    // Drawn at the size it is shown, not at its own.
    reader.setScaledSize(FittedIconSize(size.width(), size.height()));
    return true;
  });
}

}  // namespace rk5::platform
