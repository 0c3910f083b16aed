#include "gui/about/frm_about.h"

#include <QLabel>
#include <QPushButton>

#include "catalogue/start_program.h"
#include "gui/base/program_icon.h"
#include "ui_frm_about.h"

namespace rk5 {

TfrmAbout::TfrmAbout(platform::ProgramStart& starter, const RunTitle* title, QWidget* owner)
    : THelperForm(owner, title), ui_(new Ui::TfrmAbout), starter_(starter) {
  RegisterProgramIcon();  // the design's picture is one of its images
  LoadDesign(*ui_);
  // The design's 32-pixel picture, from a larger one on a denser screen.
  const QSize picture = ui_->Image1->size();
  ui_->Image1->setPixmap(ProgramIcon().pixmap(picture, devicePixelRatioF()));
  CompleteConstruction();
}

TfrmAbout::~TfrmAbout() = default;

QLabel* TfrmAbout::Label(int number) const {
  return findChild<QLabel*>(QStringLiteral("Label%1").arg(number), Qt::FindDirectChildrenOnly);
}
QLabel* TfrmAbout::Image1() const { return ui_->Image1; }
QPushButton* TfrmAbout::btnDl() const { return ui_->btnDl; }

void TfrmAbout::btnDlClick() { close(); }

// Neither link looks at whether the address could be opened.
void TfrmAbout::Label5Click() { StartProgram(starter_, kComponentMakerSite, "", "", 0); }

void TfrmAbout::Label9Click() { StartProgram(starter_, kShortcutAuthorMail, "", "", 0); }

}  // namespace rk5
