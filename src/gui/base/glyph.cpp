#include "gui/base/glyph.h"

#include <QColor>

// The resources live in a static library; make sure they are registered before use.
static void InitHelperResources() { Q_INIT_RESOURCE(helper_resources); }

namespace rk5 {

QImage LoadGlyphBitmap(const QString& name) {
  static const bool registered = (InitHelperResources(), true);
  (void)registered;
  return QImage(QStringLiteral(":/") + name);
}

QImage LoadGlyph(const QString& name) {
  QImage bitmap = LoadGlyphBitmap(name);
  if (bitmap.isNull()) return bitmap;
  const QRgb transparent = bitmap.pixel(0, bitmap.height() - 1);
  QImage glyph = bitmap.convertToFormat(QImage::Format_ARGB32);
  for (int y = 0; y < glyph.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(glyph.scanLine(y));
    for (int x = 0; x < glyph.width(); ++x) {
      if ((line[x] & 0xffffff) == (transparent & 0xffffff)) line[x] = 0;
    }
  }
  return glyph;
}

QPainterPath GlyphStrokes(const QString& name) {
  QPainterPath strokes;
  if (name == QLatin1String("BTNCLOSE")) {
    // The cross's two diagonals, through the centres of its two-pixel-wide rows 1 to 7.
    strokes.moveTo(2, 1.5);
    strokes.lineTo(8, 7.5);
    strokes.moveTo(8, 1.5);
    strokes.lineTo(2, 7.5);
  }
  return strokes;
}

}  // namespace rk5
