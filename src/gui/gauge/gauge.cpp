#include "gui/gauge/gauge.h"

#include <QFontInfo>
#include <QPainter>
#include <cmath>

#include "gui/base/design_loading.h"

namespace rk5 {

TGauge::TGauge(QWidget* parent) : QWidget(parent) {
  // Opaque: the picture covers the whole control, nothing is painted beneath it first.
  setAttribute(Qt::WA_OpaquePaintEvent);
  resize(100, 100);
}

void TGauge::Repaint(bool needed) {
  if (needed && isVisible()) repaint();
}

void TGauge::SetMinValue(int32_t value) {
  Repaint(range_.SetMinValue(value, DesignLoading::Active(*this)));
}

void TGauge::SetMaxValue(int32_t value) {
  // The download sets the same maximum with each of its pieces: no look-up of the
  // window's loading state for that.
  if (value == range_.MaxValue()) return;
  Repaint(range_.SetMaxValue(value, DesignLoading::Active(*this)));
}

void TGauge::SetProgress(int32_t value) { Repaint(range_.SetProgress(value)); }

void TGauge::SetKind(TGaugeKind kind) {
  if (kind == kind_) return;
  kind_ = kind;
  Repaint(true);
}

void TGauge::SetShowText(bool show) {
  if (show == show_text_) return;
  show_text_ = show;
  Repaint(true);
}

void TGauge::SetBorderStyle(GaugeBorder border) {
  if (border == border_) return;
  border_ = border;
  Repaint(true);
}

void TGauge::SetColour(QRgb& field, const QColor& colour) {
  const QRgb rgb = colour.rgb() | 0xff000000;
  if (rgb == field) return;
  field = rgb;
  Repaint(true);
}

void TGauge::SetForeColor(const QColor& colour) { SetColour(fore_, colour); }
void TGauge::SetBackColor(const QColor& colour) { SetColour(back_, colour); }
void TGauge::SetColor(const QColor& colour) { SetColour(color_, colour); }

QImage TGauge::Picture(double scale) const {
  GaugePicture picture;
  picture.width = static_cast<int>(std::lround(width() * scale));
  picture.height = static_cast<int>(std::lround(height() * scale));
  picture.kind = kind_;
  picture.show_text = show_text_;
  picture.border = border_;
  picture.fore = fore_;
  picture.back = back_;
  picture.color = color_;
  picture.font = font();
  if (scale != 1.0) {
    picture.font.setPixelSize(static_cast<int>(std::lround(QFontInfo(font()).pixelSize() * scale)));
  }
  picture.percent = PercentDone();
  QImage image = PaintGauge(picture);
  image.setDevicePixelRatio(scale);
  return image;
}

void TGauge::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.drawImage(0, 0, Picture(devicePixelRatioF()));
}

}  // namespace rk5
