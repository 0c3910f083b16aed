#pragma once
// TfrmAlert: the modal message window, and the start-up window of the run modes "/run",
// "/install", "/installed" and "/update", whose work runs in its creation handler. Only
// the first TfrmAlert of a run looks at the mode; every later one is a plain message.
#include <QString>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "ui/gui/helper_form.h"

class QLabel;
class QPushButton;
namespace Ui {
class TfrmAlert;
}

namespace rk5 {

class TfrmAlert : public THelperForm {
  Q_OBJECT

 public:
  explicit TfrmAlert(QWidget* owner = nullptr);
  ~TfrmAlert() override;

  QLabel* Label1() const;
  QPushButton* btnDl() const;

 public Q_SLOTS:
  void btnDlClick();

 private:
  void FormCreate();

  std::unique_ptr<Ui::TfrmAlert> ui_;
};

// Set by the first construction of a TfrmAlert in a run, never cleared by the program.
bool& ModeHandled();

// The work of the four start-up modes, carried out by the first TfrmAlert of a run whose
// RunMode is one of them. The start-up modes register it when they are built into the
// program; while nothing is registered a matching mode does nothing here.
using StartupModeWork = std::function<void(TfrmAlert& window, const std::string& mode)>;
void SetStartupModeWork(StartupModeWork work);

bool IsStartupMode(std::string_view mode);

// Shows text in a new message window and returns when the user has closed it. The text is
// single-byte; it is cut off where it does not fit the label.
void ShowAlert(const QString& text);
void ShowAlert(std::string_view text);
void ShowAlert(const char* text);

}  // namespace rk5
