#include "platform/formats/launcher_icons.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <filesystem>

#include "platform/atomic_file.h"
#include "platform/formats/fnv_hash.h"
#include "platform/formats/picture_image.h"
#include "platform/user_folders.h"

namespace rk5::platform {
namespace {

constexpr char kDefaultPicture[] = "rk5helper.png";
constexpr std::size_t kNameHeadBytes = 64;

std::string DefaultFolder() { return DataFolder() + "/rk5helper/icons"; }

// A picture's file name: the icon file's own name made safe, and a hash of its whole
// path, so that tools of the same name in different folders keep their own pictures.
std::string PictureName(const std::string& icon_file) {
  const std::size_t slash = icon_file.find_last_of('/');
  std::string head = slash == std::string::npos ? icon_file : icon_file.substr(slash + 1);
  if (head.size() > kNameHeadBytes) head.resize(kNameHeadBytes);
  for (char& c : head) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       c == '-' || c == '_' || c == '.';
    if (!plain) c = '_';
  }
  return head + "-" + FnvHex(icon_file) + ".png";
}

std::string EncodePng(const IconPicture& picture) {
  const QImage image = ImageOfPicture(picture);
  QByteArray bytes;
  QBuffer buffer(&bytes);
  if (!buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, "PNG")) return {};
  return bytes.toStdString();
}

// Writes bytes to path unless it holds them already; false when it holds something else.
bool Keep(const std::string& path, const std::string& bytes) {
  if (ReadWholeFile(path, bytes.size()) == bytes) return true;
  return ReplaceFileAtomically(path, bytes);
}

}  // namespace

LauncherIcons::LauncherIcons(std::string data_folder, std::string default_icon)
    : folder_(data_folder.empty() ? DefaultFolder() : std::move(data_folder)),
      default_icon_(std::move(default_icon)) {}

std::string LauncherIcons::PictureFor(const std::string& icon_file) {
  std::string name = kDefaultPicture;
  std::string bytes = default_icon_;
  if (std::optional<IconPicture> picture =
          icon_file.empty() ? std::nullopt : icons_->FirstIcon(icon_file)) {
    name = PictureName(icon_file);
    bytes = EncodePng(*picture);
  }
  if (bytes.empty() || folder_.empty() || folder_.front() != '/') return {};
  std::error_code error;
  std::filesystem::create_directories(folder_, error);
  const std::string path = folder_ + "/" + name;
  return !error && Keep(path, bytes) ? path : std::string();
}

}  // namespace rk5::platform
