#include "ui/shell_links.h"

namespace rk5 {
namespace {

// The folder part of a path with its trailing "/"; empty when it has none.
std::string FolderPart(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

}  // namespace

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
  return CreateShellLink(Files, Folder, Name, Target, Description, FolderPart(Target), Arguments,
                         Target, 0, 0, 0, {});
}

bool CreateShortcutFromInfo(platform::LauncherFiles& Files, const std::string& Name,
                            const std::string& Folder, const TLinkInfo& Info) {
  return CreateShellLink(Files, Folder, Name, Info.Target, Info.Description,
                         Info.WorkingFolder, Info.Arguments, Info.IconFile, Info.IconIndex,
                         Info.HotKey, Info.ShowState, Info.ItemIdList);
}

}  // namespace rk5
