#include "gui/main/main_window.h"

#include <QAction>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <algorithm>
#include "gui/base/latin1.h"

#include <chrono>

#include "catalogue/catalogue_keys.h"
#include "catalogue/catalogue_merge.h"
#include "catalogue/program_files.h"
#include "catalogue/signed_fetch.h"
#include "gui/alert/alert_box.h"
#include "catalogue/messages.h"
#include "gui/base/palette.h"
#include "gui/base/program_icon.h"
#include "gui/main/list_rows.h"
#include "gui/main/program_list.h"
#include "ini/ini_file.h"
#include "net/http_fetch.h"
#include "ui_main_window.h"

namespace rk5 {
namespace {

QColor Rgb(uint32_t rgb) { return QColor::fromRgb(palette::Opaque(rgb)); }

void SetCaptionColour(QPushButton* button, uint32_t rgb) {
  QPalette palette = button->palette();
  for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
    palette.setColor(group, QPalette::ButtonText, Rgb(rgb));
  }
  button->setPalette(palette);
}

// An icon bitmap as the painter draws it, without copying its pixels.
QImage ImageOf(const IconBitmap& bitmap) {
  return QImage(reinterpret_cast<const uchar*>(bitmap.pixels.data()), bitmap.width, bitmap.height,
                bitmap.width * 4, QImage::Format_RGB32);
}

}  // namespace

TMain::TMain(RunState& run, IconBuilder icons, MainActions actions, SelfUpdateServices update,
             WindowSetup setup, QWidget* owner)
    : THelperForm(owner, setup.Title),
      ui_(new Ui::TMain),
      setup_(setup),
      run_(run),
      icons_(std::move(icons)),
      update_(std::move(update)),
      actions_(std::move(actions)) {
  RegisterProgramIcon();  // the band shows the program's own icon
  LoadDesign(*ui_);
  // Every size of the design's picture, so that a dense screen draws the band's icon
  // from a larger one.
  setWindowIcon(ProgramIcon());
  popList_ = new QMenu(this);
  popList_->setObjectName(QStringLiteral("popList"));
  Run1_ = popList_->addAction(QStringLiteral("&Run"));
  Run1_->setObjectName(QStringLiteral("Run1"));
  CreateDesktopShortcut1_ = popList_->addAction(QStringLiteral("Create Desktop Shortcut"));
  CreateDesktopShortcut1_->setObjectName(QStringLiteral("CreateDesktopShortcut1"));
  Uninstall1_ = popList_->addAction(QString::fromLatin1(kUninstallMenuText));
  Uninstall1_->setObjectName(QStringLiteral("Uninstall1"));

  httpRefresh_ = NewFetch(this, setup.Fetch);
  httpRefresh_->SizeLimit = static_cast<int32_t>(kMaxIniFileSize);  // what a start could read
  httpRefresh_->OnDoneFile = [this](THttpFetch* sender, const std::string& file, int32_t size) {
    httpRefreshDoneFile(sender, file, size);
  };
  httpRefresh_->OnError = [this](THttpFetch* sender) { r(sender); };
  httpUpdate_ = NewFetch(this, setup.Fetch);
  httpUpdate_->BinaryData = true;
  BindUpdateFetch();
  signedRefresh_ = new TSignedFetch(this);
  signedRefresh_->OnDone = [this](const SignedFetchResult& fetched) { signedRefreshDone(fetched); };

  List()->OnMeasureItem = [this](TProgramList* list, int index, int& height) {
    ListMeasureItem(list, index, height);
  };
  List()->OnDrawItem = [this](QPainter& canvas, int index, const QRect& rect, bool selected) {
    ListDrawItem(canvas, index, rect, selected);
  };
  connect(List(), &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
    popListPopup();
    popList_->popup(List()->viewport()->mapToGlobal(at));
  });

  BindActions();

  anchors_.Record(*this);
  CompleteConstruction();
  FormCreate();
}

TMain::~TMain() { ClearList(); }

TProgramList* TMain::List() const { return ui_->List; }
QPushButton* TMain::btnRefresh() const { return ui_->btnRefresh; }
QPushButton* TMain::btnDl() const { return ui_->btnDl; }
QPushButton* TMain::btnUpdate() const { return ui_->btnUpdate; }
QPushButton* TMain::btnAbout() const { return ui_->btnAbout; }
QWidget* TMain::Control(const char* name) const { return findChild<QWidget*>(QLatin1String(name)); }

const TProgram* TMain::Entry(int index) const {
  if (index < 0 || static_cast<std::size_t>(index) >= entries_.size()) return nullptr;
  return &entries_[static_cast<std::size_t>(index)];
}

void TMain::Resize() {
  THelperForm::Resize();
  anchors_.Apply(*this);
}

void TMain::PlaceInWorkArea(const QRect& work_area) {
  const int top = work_area.top() + work_area.height() - height() - 16;
  const int left = work_area.left() + work_area.width() - width() - 16;
  // A window larger than the work area keeps its band there, where it can be dragged.
  move(std::max(left, work_area.left()), std::max(top, work_area.top()));
}

void TMain::FormCreate() {
  Resize();
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    PlaceInWorkArea(screen->availableGeometry());
  }
  program_folder_ = run_.ProgramFolder;
  ReadLocal();
  auto settings = IniFile(InFolder(program_folder_, kSettingsFile)).Snapshot();
  httpRefresh_->URL = Read(*settings, kServerSection, server_key::URL);
  policy_ = ReadCataloguePolicy(*settings);
  httpRefresh_->FileName = InFolder(program_folder_, kCatalogueFile);
  if (run_.UpdateRequired) ShowUpdateRequiredLook();
}

void TMain::ShowUpdateRequiredLook() {
  httpUpdate_->URL = run_.UpdateURL;
  httpUpdate_->FileName = InFolder(program_folder_, kUpdateFile);
  SetCaptionColour(btnDl(), palette::kSecondary);
  SetCaptionColour(btnRefresh(), palette::kSecondary);
  btnUpdate()->show();
}

void TMain::ClearList() {
  List()->clear();
  entries_.clear();  // each entry frees its icon bitmaps with itself
}

void TMain::ReadLocal() {
  List()->setUpdatesEnabled(false);
  ClearList();
  entries_ = LoadPrograms(*IniFile(InFolder(program_folder_, kLocalFile)).Snapshot(), icons_);
  for (const TProgram& entry : entries_) List()->addItem(Latin1(entry.Section));
  List()->setUpdatesEnabled(true);
  List()->setVisible(List()->count() > 0);
}

void TMain::ListMeasureItem(TProgramList*, int, int& Height) { Height = 34; }

void TMain::ListDrawItem(QPainter& Canvas, int Index, const QRect& Rect, bool Selected) {
  const TProgram* entry = Entry(Index);
  if (entry == nullptr) return;
  QFont regular = List()->font();
  QFont bold = regular;
  bold.setBold(true);
  Canvas.setFont(Selected ? bold : regular);
  const int x0 = entry->IconNormal ? 32 : 0;
  Canvas.fillRect(Rect, Rgb(Selected ? palette::kSelectedRow : palette::kWindowBackground));

  // Text cells: top-left at the given point, one line, cut at the row's edge.
  auto text_at = [&Canvas, &Rect](int x, int y, const QString& text) {
    Canvas.drawText(QRect(x, y, Rect.right() - x + 1, Rect.bottom() - y + 1),
                    Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
  };
  const RowText row = TextOfRow(*entry);
  const QString first = Latin1(row.first_line);
  Canvas.setPen(Rgb(row.first_colour));
  text_at(Rect.left() + x0 + 4, Rect.top() + 4, first);
  const int w = QFontMetrics(Canvas.font()).horizontalAdvance(first + QLatin1Char(' '));
  Canvas.setFont(regular);
  Canvas.setPen(Rgb(palette::kSecondary));
  if (!row.installed.empty())
    text_at(Rect.left() + x0 + 4 + w, Rect.top() + 4, Latin1(row.installed));
  text_at(Rect.left() + x0 + 4, Rect.top() + 16, Latin1(row.author));
  if (entry->IconNormal) {
    const IconBitmap& icon =
        Selected && entry->IconSelected ? *entry->IconSelected : *entry->IconNormal;
    Canvas.drawImage(QPoint(Rect.left() + 1, Rect.top() + 1), ImageOf(icon));
  }
}

void TMain::popListPopup() {
  const TProgram* entry = Entry(List()->ItemIndex());
  const bool enable = entry != nullptr && entry->Installed;
  for (QAction* item : popList_->actions()) item->setEnabled(enable);
}

void TMain::btnRefreshClick() {
  if (run_.UpdateRequired) {
    ShowAlert(kUpdateFirstText, Title());
    return;
  }
  btnRefresh()->setEnabled(false);
  if (policy_.Signed()) {
    signedRefresh_->Start(httpRefresh_->URL, httpRefresh_->Limits);
  } else {
    httpRefresh_->FetchToFile();
  }
}

void TMain::httpRefreshDoneFile(THttpFetch*, const std::string&, int) {
  MergeFetchedCatalogue(*IniFile(InFolder(program_folder_, kCatalogueFile)).Snapshot());
}

void TMain::signedRefreshDone(const SignedFetchResult& fetched) {
  if (!fetched.catalogue_fetched) {
    r(&signedRefresh_->Catalogue());
    return;
  }
  const auto now = std::chrono::duration_cast<std::chrono::seconds>(
      std::chrono::system_clock::now().time_since_epoch());
  const CatalogueAcceptance accepted = AcceptSignedCatalogue(
      program_folder_, policy_, fetched.catalogue, fetched.signature, now.count());
  if (!accepted) {
    btnRefresh()->setEnabled(true);
    ShowAlert(accepted.message);
    return;
  }
  MergeFetchedCatalogue(*accepted.catalogue);
}

void TMain::MergeFetchedCatalogue(const IniDocument& catalogue) {
  IniFile local(InFolder(program_folder_, kLocalFile));
  IniWriteResult merged = MergeCatalogue(catalogue, local);

  const bool was_required = run_.UpdateRequired;
  CheckForUpdate(catalogue, run_);
  if (run_.UpdateRequired && !was_required) {
    ShowUpdateRequiredLook();
    ShowAlert("Rk5 Helper need to be updated!", Title());
    btnUpdate()->click();
  }
  btnRefresh()->setEnabled(true);
  // "Local.ini" could not take the merge: its old content stands, and the user is told.
  if (!merged) ShowAlert(merged.message, Title());

  const int selected = List()->ItemIndex();
  ReadLocal();
  List()->SetItemIndex(selected);
}

void TMain::r(THttpFetch* Sender) {
  // Nothing was merged, and "Local.ini" and the last catalogue are untouched; the user
  // may try again. A catalogue that arrived but could not be kept beside the program is
  // no connection problem.
  btnRefresh()->setEnabled(true);
  if (Sender->Failure() == TFetchFailure::fTargetNotWritten) {
    ShowAlert(UnableToWrite(Sender->FileName), Title());
  } else {
    ShowAlert(kCantConnectText, Title());
  }
}

}  // namespace rk5
