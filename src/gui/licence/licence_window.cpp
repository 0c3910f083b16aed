#include "gui/licence/licence_window.h"

#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include "gui/base/latin1.h"

#include "catalogue/messages.h"
#include "net/http_fetch.h"
#include "platform/text.h"
#include "ui_licence_window.h"

namespace rk5 {
TLic::TLic(const WindowSetup& setup, QWidget* owner)
    : THelperForm(owner, setup.Title), ui_(new Ui::TLic) {
  LoadDesign(*ui_);
  HttpFetch_ = NewFetch(this, setup.Fetch);
  HttpFetch_->setObjectName(QStringLiteral("HttpFetch"));
  HttpFetch_->SizeLimit = kMaxLicenceSize;
  HttpFetch_->OnDoneString = [this](THttpFetch* sender, const std::string& result) {
    HttpFetchDoneString(sender, result);
  };
  // Without it a text that never comes would leave the waiting line on screen for ever.
  HttpFetch_->OnError = [this](THttpFetch* sender) { HttpFetchError(sender); };
  CompleteConstruction();
  ui_->text->setFocus();  // first in the tab order: it has the focus when shown
}

// The fetch component goes with the window; a fetch still running is cancelled and its
// late report dropped.
TLic::~TLic() = default;

QPushButton* TLic::btnRefresh() const { return ui_->btnRefresh; }
QPushButton* TLic::btnDl() const { return ui_->btnDl; }
QPlainTextEdit* TLic::text() const { return ui_->text; }

void TLic::showEvent(QShowEvent* event) {
  THelperForm::showEvent(event);
  FormShow();
}

void TLic::FormShow() {
  // Only the letters A to Z change; the path and query are lower-cased too.
  HttpFetch_->URL = platform::FoldCase(LicenseURL);
  HttpFetch_->FetchToString();
}

void TLic::HttpFetchDoneString(THttpFetch*, const std::string& Result) {
  // As received: the text box ends a line at CR LF, LF or CR and converts nothing else.
  ui_->text->setPlainText(Latin1(Result));
  ui_->btnDl->setEnabled(true);
}

void TLic::HttpFetchError(THttpFetch*) {
  ui_->text->setPlainText(QString::fromLatin1(kCantConnectText));
}

void TLic::btnDlClick() {
  Tag = 1;
  close();
}

void TLic::btnRefreshClick() { close(); }

bool ShowLicense(const std::string& Name, const std::string& URL, const WindowSetup& setup) {
  // Owned by the application object: no owner window. The guard notices a window freed
  // while it is shown.
  QPointer<TLic> lic = new TLic(setup);
  lic->LicenseURL = URL;
  lic->setWindowTitle(QStringLiteral("License for ") + Latin1(Name));
  lic->ShowModal();
  if (lic.isNull()) return false;
  const bool accepted = lic->Tag == 1;
  delete lic.data();
  return accepted;
}

}  // namespace rk5
