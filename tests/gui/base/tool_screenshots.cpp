// Writes PNG pictures of the message window, of the windows' progress gauge at 0, 50
// and 100 percent and of the download window while downloading and once installed into
// the folder named by the first argument. Fonts are measured at 96
// Writes PNG pictures of the message window, of the windows' progress gauge at 0, 50 and
// 100 percent, of the licence window (fetching, and with a text), of the About window, of
// the list's pop-up menu and of the uninstall question into the folder named by the first
// argument. Fonts are measured at 96
// dots per inch; on any other resolution the tool refuses, since the pictures would not
// show what the windows are designed for.
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QScreen>
#include <QTemporaryDir>
#include <cstdio>
#include <zip.h>

#include "gui/download/download_window.h"
#include "install/scratch_marks.h"
#include "net/http_fetch.h"
#include <string>

#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QTimer>

#include "gui/licence/licence_window.h"
#include "gui/main/main_window.h"
#include "gui/main/program_list.h"
#include "gui/alert/alert_box.h"
#include "gui/about/frm_about.h"
#include "gui/gauge/gauge.h"
#include "gui/base/helper_look.h"

namespace {

bool Save(const QImage& image, const QString& path) {
  if (!image.save(path, "PNG")) {
    std::fprintf(stderr, "tool_screenshots: cannot write %s\n", qPrintable(path));
    return false;
  }
  std::printf("%s\n", qPrintable(path));
  return true;
}

// A small tool archive, written with libzip.
bool WriteToolArchive(const std::string& path) {
  static const std::string program = "#!/bin/sh\necho port scan\n";
  static const std::string licence = "Free to use.\n";
  int error = 0;
  zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  if (archive == nullptr) return false;
  for (const auto& [name, data] : {std::pair{"PortScan/portscan", &program},
                                   std::pair{"PortScan/licence.txt", &licence}}) {
    zip_source_t* source = zip_source_buffer(archive, data->data(), data->size(), 0);
    if (source == nullptr || zip_file_add(archive, name, source, ZIP_FL_OVERWRITE) < 0) {
      zip_source_free(source);
      zip_discard(archive);
      return false;
    }
  }
  return zip_close(archive) == 0;
}

// A scratch program folder below scratch holding local_ini as "Local.ini"; empty when it
// cannot be made.
QString ScratchProgramFolder(const QTemporaryDir& scratch, const char* local_ini) {
  const QString program = scratch.path() + QStringLiteral("/Rk5/Helper/");
  QFile local(program + QStringLiteral("Local.ini"));
  if (!scratch.isValid() || !QDir().mkpath(program) || !local.open(QIODevice::WriteOnly)) return {};
  return local.write(local_ini) > 0 ? program : QString();
}

// The download window of a sample tool while downloading (45 percent received), then
// installed into a scratch folder: its own handlers, fed as the fetch feeds them.
bool SaveDownloadWindow(const QDir& folder) {
  QTemporaryDir scratch;
  const QString program = ScratchProgramFolder(
      scratch, "[PortScan]\r\nName=PortScan\r\nDL=http://screenshots.invalid/PortScan.zip\r\n"
               "OBuild=1\r\nOExeName=portscan\r\nOVersion=0.9\r\n");
  if (program.isEmpty()) return false;
  rk5::test::ScratchMarks marks;
  rk5::RunState run;
  run.RunMode = "/dl";
  run.ProgramFolder = program.toStdString();
  rk5::TDownload window(run, "PortScan",
                        {marks, rk5::InstallPlatform::ThisSystem(), rk5::ArchivePlatform::ThisSystem()},
                        "rk5helper", {});
  window.HttpFetch().Cancel();
  window.show();
  window.HttpFetchProgress(nullptr, 2400000, 1080000);
  bool ok = Save(window.grab().toImage(), folder.filePath(QStringLiteral("download_downloading.png")));
  ok = WriteToolArchive(window.ArchiveFile()) && ok;
  window.HttpFetchDoneFile(nullptr, window.ArchiveFile(), 0);
  return Save(window.grab().toImage(), folder.filePath(QStringLiteral("download_installed.png"))) && ok;
}

// Opens nothing: the pictures need no program started.
class NoStart : public rk5::platform::ProgramStart {
 public:
  bool Start(const std::string&, const std::string&, const std::string&, int) override {
    return false;
  }
};

// The licence window before and after its text came (painted without being shown, so it
// fetches nothing), and the About window.
bool SaveLicenceAndAbout(const QDir& folder) {
  rk5::TLic lic;
  lic.setWindowTitle(QStringLiteral("License for Sample Tool"));
  bool ok = Save(lic.grab().toImage(), folder.filePath(QStringLiteral("licence_fetching.png")));
  lic.HttpFetchDoneString(
      nullptr,
      "Sample Tool licence\r\n"
      "===================\r\n\r\n"
      "Sample Tool is given to you free of charge by its publisher.\r\n"
      "You may use it and pass it on unchanged, with this text.\r\n\r\n"
      "It comes without any warranty: the publisher is not liable\r\n"
      "for any damage that its use may cause.\r\n\r\n"
      "By pressing Accept you agree to these terms.\r\n");
  ok = Save(lic.grab().toImage(), folder.filePath(QStringLiteral("licence_text.png"))) && ok;

  NoStart start;
  rk5::TfrmAbout about(start);
  return Save(about.grab().toImage(), folder.filePath(QStringLiteral("about.png"))) && ok;
}

// The list's pop-up menu on an installed tool, drawn over the main window where a right
// click on the row opens it, and the question "/uninstall" asks (answered No).
bool SaveUninstall(const QDir& folder) {
  QTemporaryDir scratch;
  rk5::RunState run;
  run.ProgramFolder = ScratchProgramFolder(scratch, "[PortScan]\r\nName=PortScan\r\nBy=Sample Publisher\r\n"
                                                    "Installed=1\r\nBuild=1\r\nOBuild=1\r\n").toStdString();
  if (run.ProgramFolder.empty()) return false;
  rk5::TMain main(run);
  main.show();
  main.List()->SetItemIndex(0);
  main.popListPopup();
  QImage shot = main.grab().toImage();
  QPainter(&shot).drawImage(QPoint(96, 64), main.popList()->grab().toImage());
  bool ok = Save(shot, folder.filePath(QStringLiteral("uninstall_menu.png")));

  QTimer::singleShot(0, [&] {
    for (QWidget* window : QApplication::topLevelWidgets()) {
      auto* box = qobject_cast<rk5::TAlertBox*>(window);
      if (box == nullptr || !box->isVisible()) continue;
      ok = Save(box->grab().toImage(), folder.filePath(QStringLiteral("uninstall_question.png"))) && ok;
      box->findChild<QPushButton*>(QStringLiteral("btnNo"))->click();
    }
  });
  return !rk5::AskYesNo(QStringLiteral("Uninstall PortScan?")) && ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QApplication::setStyle(QStringLiteral("Fusion"));
  const QDir folder(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("."));
  if (!QDir().mkpath(folder.path())) {
    std::fprintf(stderr, "tool_screenshots: cannot create %s\n", qPrintable(folder.path()));
    return 1;
  }
  const double dpi = QGuiApplication::primaryScreen()->logicalDotsPerInchY();
  if (dpi != 96.0) {
    std::fprintf(stderr, "tool_screenshots: the screen has %.1f dots per inch, not 96\n", dpi);
    return 1;
  }

  rk5::TAlertBox alert;
  alert.Label1()->setText(QStringLiteral("This program does not need a to be updated."));
  alert.show();
  bool ok = Save(alert.grab().toImage(), folder.filePath(QStringLiteral("message_window.png")));
  alert.hide();

  // The gauge as the windows design it: 265 x 25 on the window's font and colours.
  QWidget host;
  host.setFont(rk5::HelperFont());
  rk5::TGauge gauge(&host);
  gauge.setGeometry(0, 0, 265, 25);
  gauge.SetBackColor(QColor(0x3f, 0x43, 0x40));
  gauge.SetForeColor(QColor(0x27, 0x29, 0x28));
  for (int percent : {0, 50, 100}) {
    gauge.SetProgress(percent);
    ok = Save(gauge.Picture(), folder.filePath(QStringLiteral("gauge_%1.png").arg(percent))) && ok;
  }
  ok = SaveDownloadWindow(folder) && ok;
  ok = SaveLicenceAndAbout(folder) && ok;
  ok = SaveUninstall(folder) && ok;
  return ok ? 0 : 1;
}
