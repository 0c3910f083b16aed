#pragma once
// TMain: the catalogue window. Lists every tool of "Local.ini" coloured by state, fetches
// the publisher's catalogue on Refresh, merges it into "Local.ini", notices an announced
// new build of the program and reloads the list; fetches that build and hands over to it.
#include <QRect>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "catalogue/program_entry.h"
#include "gui/base/anchors.h"
#include "gui/base/helper_form.h"
#include "gui/base/window_setup.h"
#include "catalogue/signed_catalogue.h"
#include "platform/busy_marks.h"
#include "platform/file_attributes.h"
#include "platform/launcher_files.h"
#include "platform/program_start.h"
#include "platform/registry.h"
#include "selfinstall/run_state.h"

class QMenu;
class QAction;
class QLabel;
class QPainter;
class QPushButton;

namespace Ui {
class TMain;
}

namespace rk5 {

class TGauge;
class THttpFetch;
class TProgramList;
class TSignedFetch;
struct SignedFetchResult;

// What the hand-over to a fetched build uses: it is made executable, started, and the run
// ends. Missing pieces make every hand-over fail like a failed fetch.
struct SelfUpdateServices {
  platform::ProgramStart* program_start = nullptr;
  platform::BusyMarks* busy_marks = nullptr;
  platform::FileAttributes* file_attributes = nullptr;
  std::function<void()> terminate;  // asks the application to end the run
};

// What the actions on the selected tool use (main_window_actions.cpp). An action whose
// service is missing starts or writes nothing.
struct MainActions {
  platform::ProgramStart* program_start = nullptr;
  platform::LauncherFiles* launcher_files = nullptr;
  platform::Registry* registry = nullptr;  // where the desktop folder is found
  std::string executable;                  // this program's full path
  std::function<void()> show_about;        // shows the About window modally
};

class TMain : public THelperForm {
  Q_OBJECT

 public:
  // run: the run's state, read at creation and written when a refresh finds a new build;
  // it must outlive the window. icons builds an entry's icon bitmaps; empty: none.
  explicit TMain(RunState& run, IconBuilder icons = {}, MainActions actions = {},
                 SelfUpdateServices update = {}, WindowSetup setup = {}, QWidget* owner = nullptr);
  ~TMain() override;

  // The design's controls and components, for the handlers of later windows and tests.
  TProgramList* List() const;
  QPushButton* btnRefresh() const;
  QPushButton* btnDl() const;
  QPushButton* btnUpdate() const;
  QPushButton* btnAbout() const;
  QLabel* c() const;
  TGauge* ProgressBar() const;
  QWidget* Control(const char* name) const;
  QMenu* popList() const { return popList_; }
  QAction* Run1() const { return Run1_; }
  QAction* CreateDesktopShortcut1() const { return CreateDesktopShortcut1_; }
  QAction* Uninstall1() const { return Uninstall1_; }
  THttpFetch& httpRefresh() { return *httpRefresh_; }
  THttpFetch& httpUpdate() { return *httpUpdate_; }
  const TProgram* Entry(int index) const;
  const std::string& ProgramFolder() const { return program_folder_; }

  // Top-left corner 16 pixels in from the work area's bottom-right corner.
  void PlaceInWorkArea(const QRect& work_area);

  void ReadLocal();
  void ClearList();
  void ListMeasureItem(TProgramList* Control, int Index, int& Height);
  void ListDrawItem(QPainter& Canvas, int Index, const QRect& Rect, bool Selected);
  void popListPopup();

 public Q_SLOTS:
  void btnRefreshClick();
  void btnUpdateClick();
  // The actions on the selected tool (main_window_actions.cpp).
  void Run1Click();
  void ListDblClick();
  void btnDlClick();
  void CreateDesktopShortcut1Click();
  void Uninstall1Click();
  void btnAboutClick();

 protected:
  void Resize() override;

 private:
  void FormCreate();
  void httpRefreshDoneFile(THttpFetch* Sender, const std::string& FileName, int FileSize);
  void r(THttpFetch* Sender);
  // With a publisher's key: the catalogue and its signature fetched, to be checked.
  void signedRefreshDone(const SignedFetchResult& fetched);
  void MergeFetchedCatalogue(const IniDocument& catalogue);
  void ShowUpdateRequiredLook();
  // The self-update's fetch and hand-over (main_window_update.cpp).
  void BindUpdateFetch();
  void httpUpdateProgress(QObject* Sender, int32_t TotalSize, int32_t Readed);
  void httpUpdateError(THttpFetch* Sender);
  void httpUpdateDoneFile(THttpFetch* Sender, const std::string& FileName, int32_t FileSize);
  bool HandOver();
  void BindActions();
  void DownloadProgram(const TProgram& entry);
  // Starts a second copy of this program in mode for section, in its own folder.
  void StartSecondCopy(const std::string& mode, const std::string& section);

  std::unique_ptr<Ui::TMain> ui_;
  WindowSetup setup_;  // for the licence window it opens
  Anchors anchors_;
  QMenu* popList_ = nullptr;
  QAction* Run1_ = nullptr;
  QAction* CreateDesktopShortcut1_ = nullptr;
  QAction* Uninstall1_ = nullptr;
  THttpFetch* httpRefresh_ = nullptr;
  THttpFetch* httpUpdate_ = nullptr;
  TSignedFetch* signedRefresh_ = nullptr;
  CataloguePolicy policy_;
  RunState& run_;
  IconBuilder icons_;
  SelfUpdateServices update_;
  // Held from the start of the fetched build until this copy has ended.
  std::unique_ptr<platform::BusyMark> hand_over_;
  MainActions actions_;
  std::string program_folder_;
  std::vector<TProgram> entries_;  // the list's objects, row by row
};

}  // namespace rk5
