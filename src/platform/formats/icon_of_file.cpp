#include "platform/formats/icon_of_file.h"

#include <vector>

#include "platform/formats/icon_directory.h"
#include "platform/formats/icon_pe_resources.h"
#include "platform/formats/icon_picture.h"

namespace rk5::platform {
namespace {

std::optional<IconPicture> FromImageBytes(std::optional<std::vector<uint8_t>> image) {
  if (!image) return std::nullopt;
  return DecodeIconImage(*image);
}

}  // namespace

std::optional<IconPicture> IconOfFile(const ByteSource& file) {
  if (LooksLikeProgram(file)) return FromImageBytes(FirstProgramIconImage(file));
  if (file.Size() > kMaxIconFileBytes) return std::nullopt;  // no picture worth its cost

  uint8_t head[16] = {};
  const size_t head_bytes = file.Size() < sizeof head ? file.Size() : sizeof head;
  if (!file.Read(0, head, head_bytes)) return std::nullopt;
  const ImageFormat format = SniffImageFormat(std::span<const uint8_t>(head, head_bytes));
  if (format == ImageFormat::kIcon) return FromImageBytes(IconFileImage(file));
  return ReadImage(file, format);
}

}  // namespace rk5::platform
