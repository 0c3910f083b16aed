#include "selfinstall/install_mode.h"

#include <filesystem>
#include <system_error>

#include "catalogue/program_files.h"
#include "selfinstall/copy_file_to.h"

namespace rk5 {
namespace {

// The folder in the form the system names a running program's folder (links resolved),
// so that the start-up check finds the recorded folder equal to it.
std::string AsRunningProgramSees(const std::string& folder) {
  std::error_code ec;
  std::filesystem::path real = std::filesystem::canonical(folder, ec);
  if (ec) return folder;
  std::string named = real.string();
  if (named.empty() || named.back() != platform::PathSeparator())
    named += platform::PathSeparator();
  return named;
}

// The launcher that CreateShortcut describes: working folder and icon from the target.
platform::Launcher LauncherFor(const std::string& target, const std::string& folder) {
  platform::Launcher launcher;
  launcher.target = target;
  launcher.working_folder = folder;
  launcher.description = std::string(kLauncherDescription);
  launcher.icon_file = target;
  return launcher;
}

}  // namespace

InstallFolders InstallFoldersFor(std::string_view program_files) {
  const char sep = platform::PathSeparator();
  std::string base(program_files);
  if (base.empty() || base.back() != sep) base += sep;
  base += "Rk5";
  std::error_code ec;
  std::filesystem::path path(base);
  if (path.is_relative()) {
    std::filesystem::path absolute = std::filesystem::absolute(path, ec);
    if (!ec) path = absolute;
  }
  base = path.lexically_normal().string();
  if (base.empty() || base.back() != sep) base += sep;
  return InstallFolders{base, base + "Helper" + sep};
}

void InstallMode(ModeContext& context) {
  const InstallFolders folders = InstallFoldersFor(
      platform::ReadRegistryString(context.registry, platform::RegistryRoot::LocalMachine,
                                   platform::kWindowsKey, platform::kProgramFilesValue));
  std::string target = InFolder(folders.helper, kExecutableName);

  // The copy first: only a complete, checked copy is recorded as an install.
  if (!context.file_tree.CreateFolders(folders.base) ||
      !context.file_tree.CreateFolders(folders.helper) ||
      !CopyFileTo(context.file_copy, context.executable, target, /*make_executable=*/true) ||
      !SameContent(context.executable, target)) {
    context.show_error("Unable to write to " + target);
    return;
  }
  // A "Settings.ini" shipped beside the copy goes with it: a publisher's key pinned there
  // must reach the installed program, or it would take catalogues unsigned.
  const std::string settings = InFolder(context.program_folder, kSettingsFile);
  const std::string installed_settings = InFolder(folders.helper, kSettingsFile);
  if (context.file_tree.Exists(settings) && settings != installed_settings &&
      !CopyFileTo(context.file_copy, settings, installed_settings, /*make_executable=*/false)) {
    context.show_error("Unable to write to " + installed_settings);
    return;
  }
  const std::string helper = AsRunningProgramSees(folders.helper);
  target = InFolder(helper, kExecutableName);

  try {
    auto key = context.registry.OpenKey(platform::RegistryRoot::LocalMachine, kProgramKey);
    if (!key) throw platform::RegistryError(std::string(kPathValue));
    key->WriteString(kPathValue, helper);
  } catch (const platform::RegistryError& error) {
    context.show_error(error.what());
    return;
  }

  // A launcher that cannot be written does not undo the install; the user can start the
  // program from its folder or from the other launcher.
  const platform::Launcher launcher = LauncherFor(target, helper);
  const std::string desktop =
      platform::ReadRegistryString(context.registry, platform::RegistryRoot::CurrentUser,
                                   platform::kShellFoldersKey, platform::kDesktopValue);
  context.launcher_files.Write(desktop, std::string(kLauncherName), launcher);
  const std::string menu =
      platform::ReadRegistryString(context.registry, platform::RegistryRoot::CurrentUser,
                                   platform::kShellFoldersKey, platform::kProgramsValue);
  if (!menu.empty() && context.file_tree.CreateFolders(menu)) {
    context.launcher_files.Write(menu, std::string(kLauncherName), launcher);
  }

  context.show_message("Rk5 Helper installed!");
}

}  // namespace rk5
