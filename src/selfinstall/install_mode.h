#pragma once
// "/install": the program copies itself into its folder under the program-files folder,
// records that folder in the registry and puts its launcher on the desktop and in the
// applications menu. An install is recorded only when the copy is complete.
#include <string>
#include <string_view>

#include "selfinstall/mode_context.h"

namespace rk5 {

// The program's own key: the install records its folder there, every start compares it.
inline constexpr std::string_view kProgramKey = "\\SOFTWARE\\Rk5Helper\\";
inline constexpr std::string_view kPathValue = "Path";

inline constexpr std::string_view kLauncherName = "Rk5 Helper";
inline constexpr std::string_view kLauncherDescription = "Download and maintains Rk5 tools.";
// The menu launcher's desktop file id, the package's too: the user's own launcher of that
// id hides the package's, so the menu holds one entry, starting the user's copy.
inline constexpr std::string_view kMenuLauncherId = "org.rk5helper.Rk5Helper";

struct InstallFolders {
  std::string base;    // program-files folder + "Rk5" + separator
  std::string helper;  // base + "Helper" + separator: the program's folder
};

// From "ProgramFilesDir" as the registry holds it: a separator is put between it and
// "Rk5" unless it ends in one; a relative folder is taken from the working folder, and
// doubled separators or "." steps count for nothing, so one folder always has one name.
InstallFolders InstallFoldersFor(std::string_view program_files);

// Carries out "/install" and tells the user the outcome through the context.
void InstallMode(ModeContext& context);

}  // namespace rk5
