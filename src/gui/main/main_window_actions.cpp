// TMain's actions on the selected tool: run it, download it (licence first, then a second
// copy of the program in the "/dl" mode), put a launcher for it on the desktop, uninstall
// it (a second copy in the "/uninstall" mode); and About.
#include <QAction>
#include <QPushButton>

#include "catalogue/shell_links.h"
#include "catalogue/start_program.h"
#include "gui/alert/alert_box.h"
#include "catalogue/messages.h"
#include "gui/licence/licence_window.h"
#include "gui/main/main_window.h"
#include "gui/main/program_list.h"
#include "platform/text.h"

namespace rk5 {

void TMain::BindActions() {
  connect(Run1_, &QAction::triggered, this, &TMain::Run1Click);
  connect(List(), &QAbstractItemView::doubleClicked, this, &TMain::ListDblClick);
  connect(btnDl(), &QPushButton::clicked, this, &TMain::btnDlClick);
  connect(CreateDesktopShortcut1_, &QAction::triggered, this, &TMain::CreateDesktopShortcut1Click);
  connect(Uninstall1_, &QAction::triggered, this, &TMain::Uninstall1Click);
  connect(btnAbout(), &QPushButton::clicked, this, &TMain::btnAboutClick);
}

void TMain::Run1Click() {
  const TProgram* entry = Entry(List()->ItemIndex());
  if (entry == nullptr || !entry->Installed || actions_.program_start == nullptr) return;
  // The relative name is found in the tool's folder, which is also where it starts.
  StartProgram(*actions_.program_start, entry->ExeName, "", entry->Path, 0);
}

void TMain::ListDblClick() { Run1Click(); }

void TMain::btnDlClick() {
  if (run_.UpdateRequired) {
    ShowAlert(kUpdateFirstText, Title());
    return;
  }
  const TProgram* entry = Entry(List()->ItemIndex());
  if (entry == nullptr) return;
  if (entry->Outdated || !entry->Installed) {
    DownloadProgram(*entry);
  } else {
    ShowAlert(kNoUpdateNeededText, Title());
  }
}

void TMain::DownloadProgram(const TProgram& entry) {
  // The licence window's loop lets a refresh end meanwhile, and its reload frees the
  // entry: what the download needs is taken first.
  const std::string section = entry.Section;
  if (!ShowLicense(entry.Name, entry.ReadMe, setup_)) return;
  StartSecondCopy("/dl", section);
}

void TMain::StartSecondCopy(const std::string& mode, const std::string& section) {
  // A section with a double quote could not reach the copy whole; nothing is started.
  const std::optional<std::string> argument = QuotedArgument(section);
  if (!argument || actions_.program_start == nullptr) return;
  const std::string folder = platform::FolderOfPath(actions_.executable);
  const std::string file = actions_.executable.substr(folder.size());
  StartProgram(*actions_.program_start, file, mode + " " + *argument, folder, 0);
}

void TMain::Uninstall1Click() {
  const TProgram* entry = Entry(List()->ItemIndex());
  // The copy asks, removes and tells the outcome; Refresh then shows the tool gray.
  if (entry != nullptr && entry->Installed) StartSecondCopy("/uninstall", entry->Section);
}

void TMain::CreateDesktopShortcut1Click() {
  const TProgram* entry = Entry(List()->ItemIndex());
  if (entry == nullptr || !entry->Installed) return;
  // The launcher starts this program's "/run" mode, which finds the tool where
  // "Local.ini" then says it is, so it keeps working after an update.
  const std::optional<std::string> argument = QuotedArgument(entry->Section);
  TLinkInfo info;
  info.Target = actions_.executable;
  info.WorkingFolder = entry->Path;
  info.Arguments = "/run " + argument.value_or("");
  info.IconFile = entry->Path + entry->ExeName;
  const std::string desktop =
      actions_.registry == nullptr
          ? std::string()
          : platform::ReadRegistryString(*actions_.registry, platform::RegistryRoot::CurrentUser,
                                         platform::kShellFoldersKey, platform::kDesktopValue);
  const bool created = argument && actions_.launcher_files != nullptr &&
                       CreateShortcutFromInfo(*actions_.launcher_files, entry->Name, desktop, info);
  ShowAlert(created ? "Desktop shortcut created!" : "Can't create desktop shortcut!", Title());
}

void TMain::btnAboutClick() {
  if (actions_.show_about) actions_.show_about();
}

}  // namespace rk5
