#pragma once
// TDownload: the window of the "/dl" mode. It does the whole job for one tool: checks that
// the tool needs installing and that no other copy works on it, downloads the archive
// beside the program, installs it under the base folder so that it can't half-happen,
// records it in "Local.ini" and tells the user the outcome.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "gui/base/helper_form.h"
#include "gui/base/window_setup.h"
#include "install/archive_extractor.h"
#include "install/arriving_archive.h"
#include "install/unpack_ahead.h"
#include "install/tool_installation.h"
#include "platform/busy_marks.h"
#include "selfinstall/run_state.h"

class QLabel;
class QPushButton;
namespace Ui {
class TDownload;
}

namespace rk5 {

class TGauge;
class THttpFetch;

// The platform pieces the window works through.
struct DownloadServices {
  platform::BusyMarks& marks;
  InstallPlatform files;
  ArchivePlatform archive;
};

class TDownload : public THelperForm {
  Q_OBJECT

 public:
  // section: the tool's section, the run's second argument. service_name: the name this
  // copy registered its service under. end_run: ends the run (the refusal of an
  // up-to-date tool).
  TDownload(const RunState& state, std::string section, DownloadServices services,
            std::string service_name, std::function<void()> end_run, const WindowSetup& setup = {},
            QWidget* owner = nullptr);
  ~TDownload() override;

  // The design's controls and components.
  QPushButton* btnDl() const;
  TGauge* ProgressBar() const;
  QLabel* lab() const;
  QLabel* lab2() const;
  THttpFetch& HttpFetch() { return *HttpFetch_; }
  TArchiveExtractor& UnZip() { return UnZip_; }

  const std::string& Section() const { return Section_; }
  const std::string& ToolName() const { return ToolName_; }
  const std::string& ArchiveURL() const { return ArchiveURL_; }
  const std::string& ProgramFolder() const { return ProgramFolder_; }
  std::string ArchiveFile() const;
  std::string InstallBase() const;
  bool HoldsTopic() const { return DownloadTopic_ != nullptr; }

  void HttpFetchProgress(QObject* Sender, std::int32_t TotalSize, std::int32_t Readed);
  void HttpFetchDoneFile(THttpFetch* Sender, const std::string& FileName, std::int32_t FileSize);
  void HttpFetchError(THttpFetch* Sender);
  void UnZipArchiveProgress(TArchiveExtractor& Sender, std::uint8_t Progress, bool& Abort);
  void UnZipConfirmOverwrite(std::string& Name, bool& Confirm);

 public Q_SLOTS:
  void btnDlClick();

 protected:
  void FormCloseQuery(bool& CanClose) override;

 private:
  void FormCreate();
  void FormDestroy();
  void ShowInstallFailed();
  // Starts unpacking the archive as it arrives.
  void StartUnpackingOnArrival();
  void SetTitles(const QString& title);

  std::unique_ptr<Ui::TDownload> ui_;
  RunTitle* run_title_ = nullptr;  // set while downloading, as the task bar shows it
  TArchiveExtractor UnZip_;
  THttpFetch* HttpFetch_ = nullptr;
  std::unique_ptr<platform::BusyMark> DownloadTopic_;  // this copy works on the tool

  platform::BusyMarks& marks_;
  InstallPlatform files_;
  std::function<void()> end_run_;
  std::string ServiceName_;
  std::string ProgramFolder_;
  std::string ArchiveURL_;
  std::string ToolName_;
  std::string Section_;
  std::string digest_key_;  // the section's SHA256, empty when it has none
  ArchivePlatform arrival_files_;  // what the pass over the arriving archive writes through
  std::unique_ptr<platform::FileStager> fetch_stager_;  // the fetch's, when the run gives none
  std::unique_ptr<ArrivingArchive> arriving_;
  std::unique_ptr<ToolInstallation> installation_;
  std::unique_ptr<SpeculativeUnpack> speculative_;  // set while the archive arrives
};

}  // namespace rk5
