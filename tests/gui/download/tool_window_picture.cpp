// Saves what an X window shows as a PNG, for tests that look at a real program's window:
//   tool_window_picture <window id> <out.png>     (DISPLAY names the display)
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "xcb");
  QGuiApplication app(argc, argv);
  if (argc != 3) {
    std::fprintf(stderr, "usage: tool_window_picture <window id> <out.png>\n");
    return 2;
  }
  QScreen* screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return 1;
  const QPixmap picture = screen->grabWindow(static_cast<WId>(std::strtoull(argv[1], nullptr, 10)));
  return !picture.isNull() && picture.save(QString::fromLocal8Bit(argv[2]), "PNG") ? 0 : 1;
}
