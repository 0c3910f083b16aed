// Draws the program's icon at 16, 32, 48 and 64 pixels and writes the pictures
// program_icon_<size>.png into the folder named by the first argument. The design is a
// small window of the program's own look (outline, title band, dark body) with a gold
// arrow coming down onto a green shelf: tools fetched and kept.
//
// The shapes lie on a 16 x 16 grid scaled by whole pixels, so every size stays sharp.
#include <QColor>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPolygonF>
#include <cstdio>

#include "gui/base/palette.h"

namespace {

using rk5::palette::Opaque;
constexpr QRgb kBody = Opaque(rk5::palette::kWindowBackground);
constexpr QRgb kBand = Opaque(rk5::palette::kTitleBand);
constexpr QRgb kOutline = Opaque(rk5::palette::kOutline);
constexpr QRgb kArrow = Opaque(rk5::palette::kOutdated);
constexpr QRgb kShelf = Opaque(rk5::palette::kCredits);

QImage Draw(int size) {
  const int u = size / 16;  // pixels per grid step
  const int line = size >= 48 ? 2 : 1;
  QImage image(size, size, QImage::Format_ARGB32);
  image.fill(QColor::fromRgb(kOutline));
  QPainter painter(&image);
  painter.fillRect(line, line, size - 2 * line, size - 2 * line, QColor::fromRgb(kBody));
  painter.fillRect(line, line, size - 2 * line, 4 * u - line, QColor::fromRgb(kBand));
  // The arrow: a shaft from the band down, then a head; the shelf below it.
  painter.fillRect(7 * u, 5 * u, 2 * u, 3 * u, QColor::fromRgb(kArrow));
  if (u == 1) {
    // At 16 pixels a smoothed head blurs: steps of whole pixels instead.
    for (int row = 0; row < 4; ++row) {
      painter.fillRect(4 + row, 8 + row, 8 - 2 * row, 1, QColor::fromRgb(kArrow));
    }
  } else {
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor::fromRgb(kArrow));
    painter.drawPolygon(
        QPolygonF({QPointF(4 * u, 8 * u), QPointF(12 * u, 8 * u), QPointF(8 * u, 12 * u)}));
    painter.setRenderHint(QPainter::Antialiasing, false);
  }
  painter.fillRect(3 * u, 13 * u, 10 * u, u, QColor::fromRgb(kShelf));
  return image;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  const QDir folder(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("."));
  bool ok = true;
  for (int size : {16, 32, 48, 64}) {
    const QString path = folder.filePath(QStringLiteral("program_icon_%1.png").arg(size));
    if (Draw(size).save(path, "PNG")) {
      std::printf("%s\n", qPrintable(path));
    } else {
      std::fprintf(stderr, "tool_program_icon: cannot write %s\n", qPrintable(path));
      ok = false;
    }
  }
  return ok ? 0 : 1;
}
