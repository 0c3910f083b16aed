#include "gui/download/download_window.h"

#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include "gui/base/latin1.h"

#include "catalogue/catalogue_keys.h"
#include "catalogue/program_files.h"
#include "catalogue/signed_catalogue.h"
#include "gui/alert/alert_box.h"
#include "catalogue/messages.h"
#include "gui/gauge/gauge.h"
#include "ini/ini_file.h"
#include "install/archive_digest.h"
#include "install/unpack_ahead.h"
#include "install/download_names.h"
#include "net/http_fetch.h"
#include "platform/atomic_file.h"
#include "ui_download_window.h"

namespace rk5 {
namespace {

// The caption of a window that has nothing left to do, and the title of a refusal.
QString FinishedTitle() { return QStringLiteral("Rk5 Helper"); }

}  // namespace

TDownload::TDownload(const RunState& state, std::string section, DownloadServices services,
                     std::string service_name, std::function<void()> end_run,
                     const WindowSetup& setup, QWidget* owner)
    : THelperForm(owner, setup.Title),
      ui_(new Ui::TDownload),
      run_title_(setup.Title),
      UnZip_(services.archive),
      marks_(services.marks),
      files_(std::move(services.files)),
      end_run_(std::move(end_run)),
      ServiceName_(std::move(service_name)),
      ProgramFolder_(state.ProgramFolder),
      Section_(std::move(section)),
      arrival_files_(std::move(services.archive)) {
  LoadDesign(*ui_);
  UnZip_.ExtractOptions = {eoCreateDirs, eoRestorePath};
  UnZip_.OnArchiveProgress = [this](TArchiveExtractor& sender, std::uint8_t progress, bool& abort) {
    UnZipArchiveProgress(sender, progress, abort);
  };
  UnZip_.OnConfirmOverwrite = [this](std::string& name, bool& confirm) {
    UnZipConfirmOverwrite(name, confirm);
  };
  HttpFetch_ = NewFetch(this, setup.Fetch);
  HttpFetch_->BinaryData = true;
  HttpFetch_->OnProgress = [this](QObject* sender, std::int32_t total, std::int32_t readed) {
    HttpFetchProgress(sender, total, readed);
  };
  HttpFetch_->OnDoneFile = [this](THttpFetch* sender, const std::string& file, std::int32_t size) {
    HttpFetchDoneFile(sender, file, size);
  };
  HttpFetch_->OnError = [this](THttpFetch* sender) { HttpFetchError(sender); };
  CompleteConstruction();
  FormCreate();
}

TDownload::~TDownload() {
  FormDestroy();
  // The pass and the fetch end before what they write through goes.
  speculative_.reset();
  delete HttpFetch_;
  HttpFetch_ = nullptr;
}

QPushButton* TDownload::btnDl() const { return ui_->btnDl; }
TGauge* TDownload::ProgressBar() const { return ui_->ProgressBar; }
QLabel* TDownload::lab() const { return ui_->lab; }
QLabel* TDownload::lab2() const { return ui_->lab2; }

std::string TDownload::ArchiveFile() const { return ArchiveFileOf(ProgramFolder_, Section_); }
std::string TDownload::InstallBase() const { return InstallBaseOf(ProgramFolder_); }

void TDownload::SetTitles(const QString& title) {
  setWindowTitle(title);
  if (run_title_ != nullptr) run_title_->SetText(title);
}

void TDownload::FormCreate() {
  // Probe and take in one step: either this copy now holds the tool, or another live
  // copy does.
  platform::BusyMarks::Hold hold = marks_.TryHold(ServiceName_, Section_);
  const bool running_elsewhere = hold.outcome == platform::BusyMarks::Outcome::HeldElsewhere;
  bool usable = hold.outcome != platform::BusyMarks::Outcome::Unavailable;
  DownloadTopic_ = std::move(hold.mark);

  IniFile local(InFolder(ProgramFolder_, kLocalFile));
  // Before anything else for this tool: put right what a killed copy left half done.
  if (DownloadTopic_ && IsComponentName(Section_)) {
    usable = RepairInterruptedInstall(files_, InstallBase(), Section_, local) && usable;
  }

  std::shared_ptr<const IniDocument> ini = local.Snapshot();
  ToolName_ = Read(*ini, Section_, tool_key::Name);
  ArchiveURL_ = Read(*ini, Section_, tool_key::DL);
  const std::int32_t build = Read(*ini, Section_, tool_key::Build);
  const std::int32_t obuild = Read(*ini, Section_, tool_key::OBuild);
  digest_key_ = Read(*ini, Section_, tool_key::SHA256);

  if (build >= obuild) {
    DownloadTopic_.reset();
    if (run_title_ != nullptr) run_title_->SetText(FinishedTitle());
    ShowAlert(kNoUpdateNeededText, Title());
    if (end_run_) end_run_();
    return;
  }
  if (running_elsewhere) {
    btnDl()->setText(QStringLiteral("OK"));
    lab()->setText(QStringLiteral("This file is alerdy being downloaded"));
    lab()->show();
    setWindowTitle(FinishedTitle());
    return;
  }
  // Marks that cannot be kept, or moves of a killed copy that could not be put right:
  // installing now could harm the tool, so nothing is downloaded.
  if (!usable) {
    ShowInstallFailed();
    return;
  }
  if (!IsComponentName(Section_)) {
    DownloadTopic_.reset();
    QMessageBox::critical(nullptr, TextOf(run_title_), Latin1(NotComponentText(Section_)));
    return;
  }

  // With a publisher's key, only an archive that the signed catalogue names with its digest.
  if (const CataloguePolicy policy = ReadCataloguePolicy(ProgramFolder_); policy.Signed()) {
    const std::optional<std::string> digest = SignedDigest(ProgramFolder_, policy, Section_);
    if (!digest) return HttpFetchError(HttpFetch_);
    digest_key_ = *digest;
  }
  SetTitles(QStringLiteral("Downloading ") + Latin1(ToolName_));
  const std::string archive = ArchiveFile();
  if (files_.tree->Exists(archive)) files_.tree->RemoveFile(archive);
  // A copy killed while downloading leaves its unfinished archive beside the target; this
  // copy holds the tool's mark, so no other copy is writing one now.
  platform::RemoveLeftoverTemporaries(archive);
  HttpFetch_->URL = ArchiveURL_;
  HttpFetch_->FileName = archive;
  StartUnpackingOnArrival();
  HttpFetch_->FetchToFile();
}

void TDownload::StartUnpackingOnArrival() {
  installation_ = std::make_unique<ToolInstallation>(files_, InstallBase(), Section_);
  platform::FileStager* stager = HttpFetch_->Stager;
  if (stager == nullptr) {
    fetch_stager_ = platform::MakeFileStager();
    stager = fetch_stager_.get();
  }
  arriving_ = std::make_unique<ArrivingArchive>(*stager, !digest_key_.empty());
  HttpFetch_->Stager = arriving_.get();
  // The pass makes the staging folder when a file first arrives; until it ends, nothing
  // else touches the installation.
  ToolInstallation& installation = *installation_;
  speculative_ = std::make_unique<SpeculativeUnpack>(
      *arriving_, arrival_files_, [&installation]() -> std::optional<std::string> {
        if (!installation.Begin()) return std::nullopt;
        return installation.UnpackFolder();
      });
}

void TDownload::HttpFetchProgress(QObject*, std::int32_t TotalSize, std::int32_t Readed) {
  ProgressBar()->SetMaxValue(TotalSize);
  ProgressBar()->SetProgress(Readed);
  ProgressBar()->show();
  lab()->hide();
}

void TDownload::HttpFetchDoneFile(THttpFetch* Sender, const std::string&, std::int32_t) {
  // An archive that is not the one the catalogue names is a failed download.
  // Computed as the bytes arrived where it could be; read back otherwise.
  const std::optional<std::string> arrived_digest = arriving_ ? arriving_->Sha256() : std::nullopt;
  if (!digest_key_.empty() && !(arrived_digest ? DigestMatchesKey(arrived_digest, digest_key_)
                                               : ArchiveMatchesDigest(ArchiveFile(), digest_key_))) {
    HttpFetchError(Sender);
    return;
  }
  lab2()->show();
  ProgressBar()->show();
  lab()->hide();

  if (!installation_) installation_ = std::make_unique<ToolInstallation>(files_, InstallBase(), Section_);
  // The staging folder goes with the installation, whatever the outcome.
  const std::unique_ptr<ToolInstallation> owned = std::move(installation_);
  const std::unique_ptr<SpeculativeUnpack> pass = std::move(speculative_);
  ToolInstallation& installation = *owned;
  InstallStatus status = installation.Unpack(UnZip_, ArchiveFile(), pass ? &pass->Finish() : nullptr);
  if (status) {
    IniFile local(InFolder(ProgramFolder_, kLocalFile));
    std::shared_ptr<const IniDocument> ini = local.Snapshot();
    const std::string separator(1, files_.separator);
    InstallRecord record;
    record.section = Section_;
    record.build = ini->ReadString(Section_, tool_key::OBuild.name, "");  // its text, as it stands
    record.path = UnZip_.BaseDirectory() + separator + Section_ + separator;
    record.exe_name = Read(*ini, Section_, tool_key::OExeName);
    record.version = Read(*ini, Section_, tool_key::OVersion);
    status = installation.Finish(local, record);
  }
  if (!status) {
    ShowInstallFailed();
    return;
  }
  ProgressBar()->hide();
  lab2()->hide();
  btnDl()->setText(QStringLiteral("OK"));
  lab()->setText(Latin1(ToolName_) + QStringLiteral(" has been installed!"));
  lab()->show();
  setWindowTitle(FinishedTitle());
  btnDl()->setEnabled(true);
}

void TDownload::ShowInstallFailed() {
  ProgressBar()->hide();
  lab2()->hide();
  btnDl()->setText(QStringLiteral("OK"));
  lab()->setText(QStringLiteral("Error while installing file!"));
  lab()->show();
  setWindowTitle(FinishedTitle());
  btnDl()->setEnabled(true);
}

void TDownload::HttpFetchError(THttpFetch*) {
  speculative_.reset();
  installation_.reset();
  btnDl()->setText(QStringLiteral("OK"));
  lab2()->hide();
  lab()->setText(QStringLiteral("Error while downloading file!"));
  lab()->show();
  setWindowTitle(FinishedTitle());
}

void TDownload::UnZipArchiveProgress(TArchiveExtractor&, std::uint8_t Progress, bool&) {
  ProgressBar()->SetMaxValue(100);
  ProgressBar()->SetProgress(Progress);
  ProgressBar()->show();
  lab2()->show();
  lab()->hide();
  btnDl()->setEnabled(false);
}

void TDownload::UnZipConfirmOverwrite(std::string&, bool& Confirm) { Confirm = true; }

void TDownload::btnDlClick() {
  HttpFetch_->Cancel();
  close();
}

void TDownload::FormCloseQuery(bool& CanClose) { CanClose = true; }

void TDownload::FormDestroy() {
  // From now on another copy may download the tool again.
  DownloadTopic_.reset();
}

}  // namespace rk5
