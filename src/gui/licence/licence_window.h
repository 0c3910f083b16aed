#pragma once
// TLic: the licence agreement window. It fetches a tool's licence text when shown, shows
// it read-only, and lets the download go ahead only on an explicit Accept.
#include <QString>
#include <cstdint>
#include <memory>
#include <string>

#include "gui/base/helper_form.h"
#include "gui/base/window_setup.h"

class QPlainTextEdit;
class QPushButton;
namespace Ui {
class TLic;
}

namespace rk5 {

class THttpFetch;

// The longest licence text shown; a longer one counts as not fetched.
inline constexpr std::int32_t kMaxLicenceSize = 16 * 1024 * 1024;

class TLic : public THelperForm {
  Q_OBJECT

 public:
  explicit TLic(const WindowSetup& setup = {}, QWidget* owner = nullptr);
  ~TLic() override;

  QPushButton* btnRefresh() const;
  QPushButton* btnDl() const;
  QPlainTextEdit* text() const;
  THttpFetch& HttpFetch() { return *HttpFetch_; }

  std::string LicenseURL;
  int Tag = 0;  // 1 once Accept was pressed

  void FormShow();
  void HttpFetchDoneString(THttpFetch* Sender, const std::string& Result);
  void HttpFetchError(THttpFetch* Sender);

 public Q_SLOTS:
  void btnDlClick();
  void btnRefreshClick();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  std::unique_ptr<Ui::TLic> ui_;
  THttpFetch* HttpFetch_ = nullptr;
};

// Shows the licence of the tool called Name, fetched from URL, in a modal TLic, and
// returns true exactly when the user accepted it.
bool ShowLicense(const std::string& Name, const std::string& URL, const WindowSetup& setup = {});

}  // namespace rk5
