#pragma once
// The application object: creates the plan's windows in order (the first is the run's
// main window), shows the main window only when the plan says so, and runs the loop
// until the main window closes or the application is told to terminate.
#include "app/gui/window_factory.h"
#include "app/mode_plan.h"

namespace rk5 {

int RunApplication(int& argc, char** argv, const ModePlan& plan, const WindowFactory& factory);

}  // namespace rk5
