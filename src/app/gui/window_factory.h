#pragma once
// The seam between the start-up decision and the windows: each window issue registers
// how its window is made (in available_windows.cpp) from the run state and the platform
// services main() made; the body asks for the plan's kinds
// in order. A kind nobody registered is not available in this build.
#include <functional>
#include <map>

#include "app/mode_plan.h"
#include "gui/base/window_setup.h"
#include "platform/services.h"
#include "selfinstall/run_state.h"

class QWidget;

namespace rk5 {

// Asks the application to end the run; handed to each window when it is made.
using TerminateRun = std::function<void()>;
using WindowCreator = std::function<QWidget*(const TerminateRun& terminate)>;

class WindowFactory {
 public:
  void Register(WindowKind kind, WindowCreator creator);
  // A window that never ends the run by itself.
  void Register(WindowKind kind, std::function<QWidget*()> creator);
  bool Has(WindowKind kind) const;
  QWidget* Create(WindowKind kind, const TerminateRun& terminate = {}) const;  // nullptr when
                                                                               // not registered

 private:
  std::map<WindowKind, WindowCreator> creators_;
};

// Fills the factory with every window this build has. Each window gets the parts of run
// and services it uses, and a copy of setup; run, services and the title must outlive the windows.
void RegisterAvailableWindows(WindowFactory& factory, RunState& run, platform::Services& services,
                              const WindowSetup& setup = {});

}  // namespace rk5
