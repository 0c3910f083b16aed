#pragma once
// TAlertBox: the modal message window through which every window tells the user something
// (ShowAlert). The start-up window (TfrmAlert) is one of these with the run's mode work.
#include <QString>
#include <memory>
#include <string_view>

#include "gui/base/helper_form.h"

class QLabel;
class QPushButton;
namespace Ui {
class TfrmAlert;
}

namespace rk5 {

class TAlertBox : public THelperForm {
  Q_OBJECT

 public:
  explicit TAlertBox(const RunTitle* title = nullptr, QWidget* owner = nullptr);
  ~TAlertBox() override;

  QLabel* Label1() const;
  QPushButton* btnDl() const;

 public Q_SLOTS:
  void btnDlClick();

 private:
  std::unique_ptr<Ui::TfrmAlert> ui_;
};

// Shows text in a new message window and returns when the user has closed it. The text is
// single-byte; it is cut off where it does not fit the label. title: the run's title for
// the window's task-bar button, none for the program's name.
void ShowAlert(const QString& text, const RunTitle* title = nullptr);
void ShowAlert(std::string_view text, const RunTitle* title = nullptr);
void ShowAlert(const char* text, const RunTitle* title = nullptr);

// Asks text in a message window with "Yes" and "No"; true only for Yes. "No" and the close
// button both decline.
bool AskYesNo(const QString& text, const RunTitle* title = nullptr);

}  // namespace rk5
