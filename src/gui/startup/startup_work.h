#pragma once
// The start-up window's work for the run's mode: the mode's logic, with the window as the
// place where it tells the user something, and the end of the run afterwards.
#include <functional>
#include <string>

#include "gui/startup/frm_alert.h"
#include "selfinstall/mode_context.h"
#include "selfinstall/run_state.h"

namespace rk5 {

// executable: the running executable's full path. terminate: ends the run; called once
// the mode's work is done. run must outlive the work.
StartupModeWork MakeStartupWork(const RunState& run, std::string executable,
                                StartupServices services, std::function<void()> terminate);

}  // namespace rk5
