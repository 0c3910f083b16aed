// Writes PNG pictures of the message window and of the windows' progress gauge at 0, 50
// and 100 percent into the folder named by the first argument. Fonts are measured at 96
// dots per inch; on any other resolution the tool refuses, since the pictures would not
// show what the windows are designed for.
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QScreen>
#include <cstdio>

#include "selfinstall/gui/frm_alert.h"
#include "ui/gui/gauge.h"
#include "ui/gui/helper_look.h"

namespace {

bool Save(const QImage& image, const QString& path) {
  if (!image.save(path, "PNG")) {
    std::fprintf(stderr, "tool_screenshots: cannot write %s\n", qPrintable(path));
    return false;
  }
  std::printf("%s\n", qPrintable(path));
  return true;
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

  rk5::TfrmAlert alert;
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
  return ok ? 0 : 1;
}
