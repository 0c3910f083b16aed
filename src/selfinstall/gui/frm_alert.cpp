#include "selfinstall/gui/frm_alert.h"

#include <QLabel>
#include <QPointer>
#include <QPushButton>

#include "app/mode_plan.h"
#include "app/run_state.h"
#include "ui_frm_alert.h"

namespace rk5 {
namespace {

StartupModeWork& RegisteredWork() {
  static StartupModeWork work;
  return work;
}

}  // namespace

bool& ModeHandled() {
  static bool handled = false;
  return handled;
}

void SetStartupModeWork(StartupModeWork work) { RegisteredWork() = std::move(work); }

bool IsStartupMode(std::string_view mode) {
  // The modes whose only window is this one, as the start-up dispatch knows them.
  const ModePlan plan = PlanForMode(mode);
  return plan.windows.size() == 1 && plan.windows.front() == WindowKind::Startup;
}

TfrmAlert::TfrmAlert(QWidget* owner) : THelperForm(owner), ui_(new Ui::TfrmAlert) {
  LoadDesign(*ui_);
  CompleteConstruction();
  FormCreate();
}

TfrmAlert::~TfrmAlert() = default;

QLabel* TfrmAlert::Label1() const { return ui_->Label1; }
QPushButton* TfrmAlert::btnDl() const { return ui_->btnDl; }

void TfrmAlert::btnDlClick() { close(); }

void TfrmAlert::FormCreate() {
  if (ModeHandled()) return;
  // Set before the mode's work runs, so that a message shown from inside it stays a
  // message instead of starting the mode a second time.
  ModeHandled() = true;
  const std::string mode = TheRunState().RunMode;
  if (IsStartupMode(mode) && RegisteredWork()) RegisteredWork()(*this, mode);
}

void ShowAlert(const QString& text) {
  // Owned by the application object: no owner window. A handler may free it while it is
  // shown; the guard notices.
  QPointer<TfrmAlert> alert = new TfrmAlert;
  alert->Label1()->setText(text);
  alert->ShowModal();
  delete alert.data();
}

void ShowAlert(std::string_view text) {
  ShowAlert(QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
}

void ShowAlert(const char* text) { ShowAlert(std::string_view(text)); }

}  // namespace rk5
