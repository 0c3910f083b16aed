#pragma once
// A flat push button that shows only a glyph, centred: no frame at rest, a thin raised
// frame under the pointer and a sunken one with the glyph shifted a pixel while pressed.
// Drawn by itself so it looks the same under every widget style.
#include <QImage>
#include <QPainterPath>
#include <QPushButton>
#include <QRgb>

namespace rk5 {

class FlatGlyphButton : public QPushButton {
  Q_OBJECT

 public:
  explicit FlatGlyphButton(QWidget* parent, QRgb background);

  // strokes: the glyph's lines, drawn instead of the bitmap on a denser screen so that
  // they stay sharp; none: the bitmap is scaled.
  void SetGlyph(const QImage& glyph, const QPainterPath& strokes = {});
  const QImage& Glyph() const { return glyph_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QImage glyph_;
  QPainterPath strokes_;
  QRgb background_;
};

}  // namespace rk5
