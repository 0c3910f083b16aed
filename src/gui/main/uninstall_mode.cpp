#include "gui/main/uninstall_mode.h"

#include <QLabel>

#include "catalogue/catalogue_keys.h"
#include "catalogue/messages.h"
#include "catalogue/program_files.h"
#include "catalogue/shell_links.h"
#include "gui/base/latin1.h"
#include "install/download_names.h"
#include "install/tool_removal.h"
#include "platform/text.h"

namespace rk5 {
namespace {

// What the window says at the end of the mode; nullopt when the user declined.
std::optional<std::string> Uninstall(const std::string& program_folder, const std::string& section,
                                     UninstallServices& services, const std::string& executable,
                                     const std::string& service_name, const RunTitle* title) {
  // The name rule of "/dl": only such a section names a busy mark and staging folders.
  if (!IsComponentName(section)) return NotComponentText(section);
  platform::BusyMarks::Hold hold = services.marks.TryHold(service_name, section);
  IniFile local(InFolder(program_folder, kLocalFile));
  const std::string name = Read(*local.Snapshot(), section, tool_key::Name);
  if (hold.outcome == platform::BusyMarks::Outcome::HeldElsewhere) return ToolBusyText(name);
  const std::string base = InstallBaseOf(program_folder);
  // Before anything else for this tool: put right what a killed copy left half done.
  const bool repaired = hold.outcome == platform::BusyMarks::Outcome::Taken &&
                        RepairInterruptedInstall(services.files, base, section, local);
  if (Read(*local.Snapshot(), section, tool_key::Installed) == 0) return NotInstalledText(name);
  if (!repaired) return kUninstallFailedText;
  // A tool without a readable manifest is refused before the user is asked anything.
  RemovalOutcome outcome = CheckRemovable(services.files, base, section, local);
  if (outcome) {
    if (!AskYesNo(Latin1(UninstallQuestion(name)), title)) return std::nullopt;
    outcome = RemoveTool(services.files, base, section, local);
  }
  switch (outcome.failure) {
    case RemovalFailure::kNone:
      break;
    case RemovalFailure::kNoManifest:
      return NoManifestText(name);
    case RemovalFailure::kManifestDamaged:
      return DamagedManifestText(name);
    default:
      return kUninstallFailedText;
  }
  const std::string program = executable.substr(platform::FolderOfPath(executable).size());
  RemoveToolShortcuts(services.launcher_files, services.registry, name, program);
  return UninstalledText(name, outcome.kept);
}

}  // namespace

TAlertBox* RunUninstallMode(const std::string& program_folder, const std::string& section,
                            UninstallServices services, const std::string& executable,
                            const std::string& service_name, const std::function<void()>& end_run,
                            const RunTitle* title) {
  std::optional<std::string> said =
      Uninstall(program_folder, section, services, executable, service_name, title);
  auto* window = new TAlertBox(title);
  if (said) {
    window->Label1()->setText(Latin1(*said));
  } else if (end_run) {
    end_run();
  }
  return window;
}

}  // namespace rk5
