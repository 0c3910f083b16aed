#include "platform/launcher_files.h"

#include <limits.h>
#include <sys/stat.h>

#include "platform/formats/command_line.h"
#include "platform/formats/desktop_entry.h"
#include "platform/formats/launcher_icons.h"
#include "platform/posix/staged_commit.h"
#include "platform/staged_file.h"

namespace rk5::platform {
namespace {

constexpr char kExtension[] = ".desktop";

bool IsFolder(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Hot key and show state have no counterpart in a Desktop Entry and are left out.
class PosixLauncherFiles final : public LauncherFiles {
 public:
  PosixLauncherFiles(std::string data_folder, std::string default_icon,
                     std::unique_ptr<FileStager> stager)
      : icons_(std::move(data_folder), std::move(default_icon)), stager_(std::move(stager)) {}

  bool Write(const std::string& folder, const std::string& name, const Launcher& launcher) override {
    if (!IsFileName(name) || !IsFolder(folder)) return false;
    DesktopEntry entry{name, {launcher.target}, launcher.working_folder, launcher.description, {}};
    for (std::string& arg : SplitArguments(launcher.arguments)) entry.command.push_back(std::move(arg));
    if (!DesktopEntryText(entry)) return false;  // before any picture is saved for it
    entry.icon = icons_.PictureFor(launcher.icon_file);
    const std::optional<std::string> text = DesktopEntryText(entry);
    if (!text) return false;
    const std::string file = (folder.back() == '/' ? folder : folder + "/") + FileName(name);
    std::unique_ptr<StagedFile> staged = stager_->Stage(file);
    return staged && staged->Write(text->data(), text->size()) && CommitStaged(*staged, true);
  }

  std::string FileName(const std::string& name) const override { return name + kExtension; }

 private:
  bool IsFileName(const std::string& name) const {
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of(std::string("/\0", 2)) == std::string::npos &&
           FileName(name).size() <= NAME_MAX;
  }

  LauncherIcons icons_;
  std::unique_ptr<FileStager> stager_;
};

}  // namespace

std::unique_ptr<LauncherFiles> MakeLauncherFiles(const std::string& data_folder,
                                                 const std::string& default_icon) {
  return std::make_unique<PosixLauncherFiles>(data_folder, default_icon, MakeFileStager());
}

std::unique_ptr<LauncherFiles> MakeLauncherFiles(const std::string& data_folder,
                                                 const std::string& default_icon,
                                                 unsigned creation_mask) {
  return std::make_unique<PosixLauncherFiles>(data_folder, default_icon,
                                              MakeFileStager(creation_mask));
}

}  // namespace rk5::platform
