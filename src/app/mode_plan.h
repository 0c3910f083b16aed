#pragma once
// Which windows a run mode creates, in which order, and whether the loop shows the
// first of them. The first window created is the run's main window.
#include <string>
#include <string_view>
#include <vector>

namespace rk5 {

enum class WindowKind {
  Main,      // TMain, the catalogue window
  About,     // TfrmAbout, created hidden after TMain
  Download,  // TDownload, one tool's download-and-install window
  Startup,   // TfrmAlert as the start-up window of /run, /install, /installed, /update
  Uninstall, // TAlertBox telling how "/uninstall" of one tool ended
};

struct ModePlan {
  std::vector<WindowKind> windows;  // empty: no window, the run ends at once with code 0
  bool ShowMainWindowAtStart = true;
  // False for runs that show no window at all ("/run", "/update"): they need no display,
  // and start quicker without one.
  bool UsesDisplay = true;
};

ModePlan PlanForMode(std::string_view runMode);

std::string_view WindowClassName(WindowKind kind);

}  // namespace rk5
