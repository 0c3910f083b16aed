#include "platform/posix/icon_beside.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <QFile>
#include <QImageReader>
#include <algorithm>
#include <cmath>

#include "platform/posix/file_descriptor.h"
#include "platform/posix/icon_picture.h"
#include "platform/posix/picture_image.h"

namespace rk5::platform {
namespace {

constexpr const char* kExtensions[] = {".png", ".svg", ".xpm", ".ico"};
// An icon drawing is small; a larger file is not read.
constexpr off_t kMaxDrawingBytes = 4 << 20;
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

std::optional<IconPicture> ReadDrawing(const std::string& path) {
  const char* format = EndsWith(path, ".svg") ? "svg" : EndsWith(path, ".xpm") ? "xpm" : nullptr;
  if (format == nullptr) return std::nullopt;
  const FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
  struct stat st {};
  if (!fd.valid() || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= 0 ||
      st.st_size > kMaxDrawingBytes) {
    return std::nullopt;
  }
  QFile file;
  if (!file.open(fd.get(), QIODevice::ReadOnly, QFileDevice::DontCloseHandle)) return std::nullopt;
  QImageReader reader(&file, format);
  reader.setDecideFormatFromContent(false);
  const QSize size = reader.size();
  if (!size.isValid() || size.isEmpty()) return std::nullopt;
  if (std::string_view(format) == "xpm") {
    if (qint64{size.width()} * size.height() > kMaxDecodedPixels) return std::nullopt;
  } else {
    // Drawn at the size it is shown, not at its own.
    const double scale = double(kIconPictureSize) / std::max(size.width(), size.height());
    reader.setScaledSize(QSize(std::clamp(int(std::lround(size.width() * scale)), 1, kIconPictureSize),
                               std::clamp(int(std::lround(size.height() * scale)), 1, kIconPictureSize)));
  }
  QImage image;
  if (!reader.read(&image) || image.isNull()) return std::nullopt;
  return FitToIconSize(PictureOfImage(image));
}

}  // namespace rk5::platform
