#include "gui/alert/alert_box.h"

#include <QLabel>
#include <QPointer>
#include <QPushButton>

#include "gui/base/latin1.h"
#include "ui_alert_box.h"

namespace rk5 {

TAlertBox::TAlertBox(const RunTitle* title, QWidget* owner)
    : THelperForm(owner, title), ui_(new Ui::TfrmAlert) {
  LoadDesign(*ui_);
  CompleteConstruction();
}

TAlertBox::~TAlertBox() = default;

QLabel* TAlertBox::Label1() const { return ui_->Label1; }
QPushButton* TAlertBox::btnDl() const { return ui_->btnDl; }

void TAlertBox::btnDlClick() { close(); }

void ShowAlert(const QString& text, const RunTitle* title) {
  // Owned by the application object: no owner window. A handler may free it while it is
  // shown; the guard notices.
  QPointer<TAlertBox> alert = new TAlertBox(title);
  alert->Label1()->setText(text);
  alert->ShowModal();
  delete alert.data();
}

bool AskYesNo(const QString& text, const RunTitle* title) {
  QPointer<TAlertBox> alert = new TAlertBox(title);
  alert->Label1()->setText(text);
  // "No" takes the button's place, "Yes" goes beside it, both in the button's look.
  QPushButton* yes = alert->btnDl();
  auto* no = new QPushButton(QStringLiteral("No"), alert);
  no->setObjectName(QStringLiteral("btnNo"));
  no->setFont(yes->font());
  no->setPalette(yes->palette());
  no->setFlat(true);
  no->setGeometry(yes->geometry());
  yes->setText(QStringLiteral("Yes"));
  yes->move(yes->x() - yes->width() - 8, yes->y());
  bool accepted = false;
  QObject::connect(yes, &QPushButton::clicked, alert, [&accepted] { accepted = true; });
  QObject::connect(no, &QPushButton::clicked, alert, &TAlertBox::btnDlClick);
  alert->ShowModal();
  delete alert.data();
  return accepted;
}

void ShowAlert(std::string_view text, const RunTitle* title) { ShowAlert(Latin1(text), title); }

void ShowAlert(const char* text, const RunTitle* title) {
  ShowAlert(std::string_view(text), title);
}

}  // namespace rk5
