#include "gui/startup/frm_alert.h"

namespace rk5 {

TfrmAlert::TfrmAlert(RunState& run, StartupModeWork work, const RunTitle* title, QWidget* owner)
    : TAlertBox(title, owner), run_(run), work_(std::move(work)) {
  FormCreate();
}

void TfrmAlert::FormCreate() {
  if (run_.ModeHandled) return;
  // Set before the mode's work runs, so that a second start-up window made from inside
  // it does not start the mode again.
  run_.ModeHandled = true;
  const std::string mode = run_.RunMode;
  if (IsStartupMode(mode) && work_) work_(*this, mode);
}

}  // namespace rk5
