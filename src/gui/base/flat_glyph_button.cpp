#include "gui/base/flat_glyph_button.h"

#include <QPainter>

namespace rk5 {
namespace {

constexpr QRgb kLightEdge = 0xff999999;
constexpr QRgb kDarkEdge = 0xff000000;

void DrawFrame(QPainter& painter, const QRect& r, QRgb top_left, QRgb bottom_right) {
  painter.setPen(QColor::fromRgb(top_left));
  painter.drawLine(r.left(), r.top(), r.right(), r.top());
  painter.drawLine(r.left(), r.top(), r.left(), r.bottom());
  painter.setPen(QColor::fromRgb(bottom_right));
  painter.drawLine(r.left(), r.bottom(), r.right(), r.bottom());
  painter.drawLine(r.right(), r.top(), r.right(), r.bottom());
}

}  // namespace

FlatGlyphButton::FlatGlyphButton(QWidget* parent, QRgb background)
    : QPushButton(parent), background_(background) {
  setFlat(true);
  setFocusPolicy(Qt::NoFocus);
  setAttribute(Qt::WA_Hover);
}

void FlatGlyphButton::SetGlyph(const QImage& glyph, const QPainterPath& strokes) {
  glyph_ = glyph;
  strokes_ = strokes;
  update();
}

void FlatGlyphButton::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), QColor::fromRgb(background_));
  const bool down = isDown();
  if (down) {
    DrawFrame(painter, rect(), kDarkEdge, kLightEdge);
  } else if (underMouse() && isEnabled()) {
    DrawFrame(painter, rect(), kLightEdge, kDarkEdge);
  }
  const int shift = down ? 1 : 0;
  const QPoint origin((width() - glyph_.width()) / 2 + shift,
                      (height() - glyph_.height()) / 2 + shift);
  if (devicePixelRatioF() == 1.0 || strokes_.isEmpty()) {
    painter.drawImage(origin, glyph_);
    return;
  }
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(QColor(Qt::white), 1.5, Qt::SolidLine, Qt::SquareCap));
  painter.drawPath(strokes_.translated(origin));
}

}  // namespace rk5
