#pragma once
// Launchers the desktop shows: one file per launcher in a folder (the desktop, the
// applications menu), starting a target with arguments in a working folder, with a
// description and an icon.
#include <memory>
#include <string>

namespace rk5::platform {

struct Launcher {
  std::string target;          // full path of the program to start
  std::string arguments;       // one text, split the Windows way
  std::string working_folder;  // folder the program starts in
  std::string description;     // the launcher's comment
  std::string icon_file;       // file whose first icon the launcher shows
  int icon_index = 0;
  unsigned hot_key = 0;     // no equivalent on every desktop; 0 is none
  unsigned show_state = 0;  // 0 normal, 1 minimised, 2 maximised; advisory
};

class LauncherFiles {
 public:
  virtual ~LauncherFiles() = default;
  // Writes the launcher called name into folder, replacing one of that name in one step.
  // False when it could not be written, the name could not be a file name there (empty,
  // ".", "..", a separator or a NUL byte, too long), or the launcher could not start
  // exactly that target with exactly those arguments (a relative target, control bytes);
  // nothing lands outside folder. Hot key and show state may be left out.
  virtual bool Write(const std::string& folder, const std::string& name,
                     const Launcher& launcher) = 0;
  // The file name a launcher called name gets in a folder (name + ".desktop" here).
  virtual std::string FileName(const std::string& name) const = 0;
};

// data_folder: where icon pictures for launchers are kept; empty: this user's data
// folder for the program. default_icon: the program's own icon picture (PNG bytes),
// used when the icon file has none.
std::unique_ptr<LauncherFiles> MakeLauncherFiles(const std::string& data_folder = {},
                                                 const std::string& default_icon = {});
// creation_mask: the user's file-creation mask (see creation_mask.h); the one above uses
// the mask as the system tells it at each launcher.
std::unique_ptr<LauncherFiles> MakeLauncherFiles(const std::string& data_folder,
                                                 const std::string& default_icon,
                                                 unsigned creation_mask);

}  // namespace rk5::platform
