#pragma once
// TfrmAlert: the modal message window, and the start-up window of the run modes "/run",
// "/install", "/installed" and "/update", whose work runs in its creation handler. Only a
// window made as a start-up window looks at the mode, and only the first of its run; a
// message window is made without the run and never installs, updates or starts anything.
#include <QString>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "catalogue/run_state.h"
#include "selfinstall/startup_modes.h"
#include "ui/gui/helper_form.h"

class QLabel;
class QPushButton;
namespace Ui {
class TfrmAlert;
}

namespace rk5 {

class TfrmAlert;

// The work of the four start-up modes, carried out by the first start-up window of a run
// whose RunMode is one of them.
using StartupModeWork = std::function<void(TfrmAlert& window, const std::string& mode)>;

class TfrmAlert : public THelperForm {
  Q_OBJECT

 public:
  // A message window.
  explicit TfrmAlert(QWidget* owner = nullptr);
  // The start-up window of run: carries out work for the run's mode unless the run's
  // ModeHandled is set already; sets it. Empty work: the mode does nothing here.
  TfrmAlert(RunState& run, StartupModeWork work, QWidget* owner = nullptr);
  ~TfrmAlert() override;

  QLabel* Label1() const;
  QPushButton* btnDl() const;

 public Q_SLOTS:
  void btnDlClick();

 private:
  TfrmAlert(RunState* run, StartupModeWork work, QWidget* owner);
  void FormCreate();

  std::unique_ptr<Ui::TfrmAlert> ui_;
  RunState* run_ = nullptr;  // none for a message window
  StartupModeWork work_;
};

// Shows text in a new message window and returns when the user has closed it. The text is
// single-byte; it is cut off where it does not fit the label.
void ShowAlert(const QString& text);
void ShowAlert(std::string_view text);
void ShowAlert(const char* text);

}  // namespace rk5
