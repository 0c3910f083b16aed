#include "app/mode_plan.h"

#include "selfinstall/startup_modes.h"

namespace rk5 {

ModePlan PlanForMode(std::string_view runMode) {
  ModePlan plan;
  if (IsStartupMode(runMode)) {
    plan.ShowMainWindowAtStart = (runMode == "/installed");
    plan.UsesDisplay = runMode == "/install" || runMode == "/installed";
    plan.windows.push_back(WindowKind::Startup);
    return plan;
  }
  if (runMode == "/dl") {
    plan.windows.push_back(WindowKind::Download);
  }
  if (runMode == "/uninstall") {
    plan.windows.push_back(WindowKind::Uninstall);
  }
  if (runMode.empty()) {
    plan.windows.push_back(WindowKind::Main);
    plan.windows.push_back(WindowKind::About);
  }
  return plan;
}

std::string_view WindowClassName(WindowKind kind) {
  switch (kind) {
    case WindowKind::Main:
      return "TMain";
    case WindowKind::About:
      return "TfrmAbout";
    case WindowKind::Download:
      return "TDownload";
    case WindowKind::Startup:
    case WindowKind::Uninstall:
      return "TfrmAlert";
  }
  return "?";
}

}  // namespace rk5
