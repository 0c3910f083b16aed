#pragma once
// TfrmAbout: the program's name, edition, icon, author line and the components it is built
// with. Created hidden once at start in the main window's run and shown modally by its
// About button, the same window each time; closing only hides it.
#include <memory>

#include "gui/base/helper_form.h"
#include "platform/program_start.h"

class QLabel;
class QPushButton;
namespace Ui {
class TfrmAbout;
}

namespace rk5 {

// The addresses behind the two linked credits.
inline constexpr const char* kComponentMakerSite = "http://www.corvane.example/";
inline constexpr const char* kShortcutAuthorMail = "mailto:links@rk5helper.example";

class TfrmAbout : public THelperForm {
  Q_OBJECT

 public:
  // starter opens the two addresses.
  explicit TfrmAbout(platform::ProgramStart& starter, const RunTitle* title = nullptr,
                     QWidget* owner = nullptr);
  ~TfrmAbout() override;

  QLabel* Label(int number) const;  // Label1 to Label9
  QLabel* Image1() const;
  QPushButton* btnDl() const;

 public Q_SLOTS:
  void btnDlClick();
  void Label5Click();
  void Label9Click();

 private:
  std::unique_ptr<Ui::TfrmAbout> ui_;
  platform::ProgramStart& starter_;
};

}  // namespace rk5
