#pragma once
// The "/uninstall <section>" mode, which the main window's "Uninstall" starts as a second
// copy: under the tool's busy mark (the one "/dl" takes, so each refuses while the other
// runs) it repairs what killed copies left, asks once, removes the tool and its launchers
// and tells the outcome in a message window.
#include <functional>
#include <string>

#include "gui/alert/alert_box.h"
#include "install/tool_installation.h"
#include "platform/busy_marks.h"
#include "platform/launcher_files.h"
#include "platform/registry.h"

namespace rk5 {

struct UninstallServices {
  platform::BusyMarks& marks;
  InstallPlatform files;
  platform::LauncherFiles& launcher_files;
  platform::Registry& registry;
};

// Does the whole job for section (the run's second argument) before the loop starts and
// returns the message window that tells the outcome, the run's main window. When the
// user declines, end_run ends the run and the window is never shown. program_folder:
// where "Local.ini" lies; executable: this program's full path; service_name: what this
// copy registered under.
TAlertBox* RunUninstallMode(const std::string& program_folder, const std::string& section,
                            UninstallServices services, const std::string& executable,
                            const std::string& service_name, const std::function<void()>& end_run,
                            const RunTitle* title = nullptr);

}  // namespace rk5
