#pragma once
// The pictures launchers show: a desktop wants an image file, so a tool's first icon is
// saved as a PNG file of the program's own in its data folder.
#include <memory>
#include <string>

#include "platform/icon_extraction.h"

namespace rk5::platform {

class LauncherIcons {
 public:
  // data_folder: where the pictures go, empty for this user's data folder of the program.
  // default_icon: PNG bytes used when a file has no icon, empty for none.
  LauncherIcons(std::string data_folder, std::string default_icon);

  // The absolute path of a picture of icon_file's first icon, or of the default icon when
  // it has none; empty when there is no picture or it could not be saved.
  std::string PictureFor(const std::string& icon_file);

 private:
  std::string folder_;
  std::string default_icon_;
  std::unique_ptr<IconExtraction> icons_ = MakeIconExtraction();
};

}  // namespace rk5::platform
