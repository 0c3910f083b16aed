#pragma once
// TfrmAlert: the start-up window of the run modes "/run", "/install", "/installed" and
// "/update", whose work runs in its creation handler. It is a message window (its label
// and button tell the user what the mode did); only the first start-up window of a run
// carries out the mode.
#include <functional>
#include <string>

#include "gui/alert/alert_box.h"
#include "selfinstall/run_state.h"
#include "selfinstall/startup_modes.h"

namespace rk5 {

class TfrmAlert;

// The work of the four start-up modes, carried out by the first start-up window of a run
// whose RunMode is one of them.
using StartupModeWork = std::function<void(TfrmAlert& window, const std::string& mode)>;

class TfrmAlert : public TAlertBox {
  Q_OBJECT

 public:
  // Carries out work for the run's mode unless the run's ModeHandled is set already; sets
  // it. Empty work: the mode does nothing here.
  TfrmAlert(RunState& run, StartupModeWork work, const RunTitle* title = nullptr,
            QWidget* owner = nullptr);

 private:
  void FormCreate();

  RunState& run_;
  StartupModeWork work_;
};

}  // namespace rk5
