#include "selfinstall/gui/frm_alert.h"

#include <QLabel>
#include <QPointer>
#include <QPushButton>

#include "ui_frm_alert.h"

namespace rk5 {

TfrmAlert::TfrmAlert(QWidget* owner) : TfrmAlert(nullptr, {}, owner) {}

TfrmAlert::TfrmAlert(RunState& run, StartupModeWork work, QWidget* owner)
    : TfrmAlert(&run, std::move(work), owner) {}

TfrmAlert::TfrmAlert(RunState* run, StartupModeWork work, QWidget* owner)
    : THelperForm(owner), ui_(new Ui::TfrmAlert), run_(run), work_(std::move(work)) {
  LoadDesign(*ui_);
  CompleteConstruction();
  FormCreate();
}

TfrmAlert::~TfrmAlert() = default;

QLabel* TfrmAlert::Label1() const { return ui_->Label1; }
QPushButton* TfrmAlert::btnDl() const { return ui_->btnDl; }

void TfrmAlert::btnDlClick() { close(); }

void TfrmAlert::FormCreate() {
  if (run_ == nullptr || run_->ModeHandled) return;
  // Set before the mode's work runs, so that a second start-up window made from inside
  // it does not start the mode again.
  run_->ModeHandled = true;
  const std::string mode = run_->RunMode;
  if (IsStartupMode(mode) && work_) work_(*this, mode);
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
