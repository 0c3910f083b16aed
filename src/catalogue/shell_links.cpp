#include "catalogue/shell_links.h"

#include "platform/text.h"

namespace rk5 {

unsigned LauncherShowState(std::uint8_t ShowState) {
  return ShowState == 1 || ShowState == 2 ? ShowState : 0;
}

bool CreateShellLink(platform::LauncherFiles& Files, const std::string& Folder,
                     const std::string& Name, const std::string& Target,
                     const std::string& Description, const std::string& WorkingFolder,
                     const std::string& Arguments, const std::string& IconFile,
                     std::int32_t IconIndex, std::uint16_t HotKey, std::uint8_t ShowState,
                     const std::vector<std::uint8_t>&) {
  platform::Launcher launcher;
  launcher.target = Target;
  launcher.description = Description;
  launcher.working_folder = WorkingFolder;
  launcher.arguments = Arguments;
  launcher.icon_file = IconFile;
  launcher.icon_index = IconIndex;
  launcher.hot_key = HotKey;
  launcher.show_state = LauncherShowState(ShowState);
  return Files.Write(Folder, Name, launcher);
}

bool CreateShortcut(platform::LauncherFiles& Files, const std::string& Name,
                    const std::string& Folder, const std::string& Target,
                    const std::string& Arguments, const std::string& Description) {
  return CreateShellLink(Files, Folder, Name, Target, Description, platform::FolderOfPath(Target),
                         Arguments, Target, 0, 0, 0, {});
}

bool CreateShortcutFromInfo(platform::LauncherFiles& Files, const std::string& Name,
                            const std::string& Folder, const TLinkInfo& Info) {
  return CreateShellLink(Files, Folder, Name, Info.Target, Info.Description, Info.WorkingFolder,
                         Info.Arguments, Info.IconFile, Info.IconIndex, Info.HotKey, Info.ShowState,
                         Info.ItemIdList);
}

bool RemoveToolShortcuts(platform::LauncherFiles& Files, platform::Registry& Registry,
                         const std::string& Name, const std::string& Program) {
  bool removed = true;
  for (std::string_view value : {platform::kDesktopValue, platform::kProgramsValue}) {
    const std::string folder = platform::ReadRegistryString(
        Registry, platform::RegistryRoot::CurrentUser, platform::kShellFoldersKey, value);
    if (!folder.empty()) removed = Files.RemoveIfStarting(folder, Name, Program) && removed;
  }
  return removed;
}

}  // namespace rk5
