// TMain's self-update: the fetch of the announced build beside the program, its progress in
// place of the list, and the hand-over to that build, which replaces the program in the
// "/update" mode. A fetched file is handed over only when it is the build the catalogue
// names and it starts; anything else is reported like a failed fetch.
#include <QLabel>
#include <QPushButton>

#include "catalogue/catalogue_keys.h"
#include "catalogue/program_files.h"
#include "catalogue/signed_catalogue.h"
#include "catalogue/update_hand_over.h"
#include "gui/alert/alert_box.h"
#include "catalogue/messages.h"
#include "gui/gauge/gauge.h"
#include "gui/main/main_window.h"
#include "gui/main/program_list.h"
#include "ini/ini_file.h"
#include "install/archive_digest.h"
#include "net/http_fetch.h"
#include "ui_main_window.h"

namespace rk5 {
namespace {

// [Rk5Helper] SHA256 of the catalogue that announced the build: absent, or the file must
// have that digest. A key that is no digest matches nothing. With a publisher's key the
// signed catalogue must name one.
bool IsTheAnnouncedBuild(const std::string& folder, const std::string& fetched) {
  if (const CataloguePolicy policy = ReadCataloguePolicy(folder); policy.Signed()) {
    const std::optional<std::string> digest =
        SignedDigest(folder, policy, std::string(kOwnSection));
    return digest && ArchiveMatchesDigest(fetched, *digest);
  }
  auto doc = IniFile(InFolder(folder, kCatalogueFile)).Snapshot();
  if (!doc->Value(kOwnSection, own_key::SHA256.name)) return true;
  return ArchiveMatchesDigest(fetched, Read(*doc, kOwnSection, own_key::SHA256));
}

}  // namespace

QLabel* TMain::c() const { return ui_->c; }
TGauge* TMain::ProgressBar() const { return ui_->ProgressBar; }

void TMain::BindUpdateFetch() {
  httpUpdate_->OnProgress = [this](QObject* sender, int32_t total, int32_t readed) {
    httpUpdateProgress(sender, total, readed);
  };
  httpUpdate_->OnError = [this](THttpFetch* sender) { httpUpdateError(sender); };
  httpUpdate_->OnDoneFile = [this](THttpFetch* sender, const std::string& file, int32_t size) {
    httpUpdateDoneFile(sender, file, size);
  };
}

void TMain::btnUpdateClick() {
  btnUpdate()->setEnabled(false);
  httpUpdate_->FetchToFile();
}

void TMain::httpUpdateProgress(QObject*, int32_t TotalSize, int32_t Readed) {
  c()->setText(QStringLiteral("Updating..."));
  List()->hide();
  ProgressBar()->show();
  // The fetch announces a length before any chunk (a binary fetch without one fails), so
  // the gauge's range is never empty here.
  if (TotalSize > ProgressBar()->MinValue()) ProgressBar()->SetMaxValue(TotalSize);
  ProgressBar()->SetProgress(Readed);
}

void TMain::httpUpdateError(THttpFetch*) {
  c()->setText(QStringLiteral("Programs:"));
  List()->setVisible(List()->count() > 0);  // the list as the window shows it
  ProgressBar()->hide();
  btnUpdate()->setEnabled(true);
  ShowAlert(kCantConnectText, Title());
}

void TMain::httpUpdateDoneFile(THttpFetch* Sender, const std::string&, int32_t) {
  if (!HandOver()) {
    httpUpdateError(Sender);
    return;
  }
  if (update_.terminate) update_.terminate();
}

bool TMain::HandOver() {
  const std::string fetched = InFolder(program_folder_, kUpdateFile);
  if (update_.program_start == nullptr || update_.file_attributes == nullptr ||
      !update_.file_attributes->SetPermissionBits(fetched, 0755) ||
      !IsTheAnnouncedBuild(program_folder_, fetched)) {
    return false;
  }
  // The new build waits for this mark to go before it replaces the program; it goes with
  // this copy's process, not with this window, which is freed before the process's last
  // steps.
  if (update_.busy_marks != nullptr) hand_over_ = HoldHandOver(*update_.busy_marks);
  if (!update_.program_start->Start(std::string(kUpdateFile), "/update", program_folder_, 0)) {
    hand_over_.reset();
    return false;
  }
  if (hand_over_) hand_over_->KeepUntilExit();
  return true;
}

}  // namespace rk5
