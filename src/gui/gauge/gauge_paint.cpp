#include "gui/gauge/gauge_paint.h"

#include <QFontMetrics>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <numbers>

#include "gui/gauge/gauge_math.h"

namespace rk5 {
namespace {

// A rectangle as the drawing layer gives it: right and bottom are exclusive.
struct Bounds {
  int left, top, right, bottom;
  QRect ToQRect() const { return QRect(left, top, right - left, bottom - top); }
};

void Fill(QImage& image, Bounds r, QRgb colour) {
  if (r.right <= r.left || r.bottom <= r.top) return;
  QPainter painter(&image);
  painter.fillRect(r.ToQRect(), QColor::fromRgb(colour));
}

QImage MakeLike(const QImage& model) { return QImage(model.size(), QImage::Format_RGB32); }

void PaintBackground(QImage& image) { image.fill(QColor(Qt::black)); }

void XorInto(QImage& target, const QImage& source) {
  QPainter painter(&target);
  painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
  painter.drawImage(0, 0, source);
}

int32_t ClampedPercent(int64_t percent) {
  return static_cast<int32_t>(std::clamp<int64_t>(percent, INT32_MIN, INT32_MAX));
}

void PaintAsBar(QImage& image, Bounds r, const GaugePicture& p) {
  const int w = r.right - r.left + 1;
  const int h = r.bottom - r.top + 1;
  Fill(image, r, p.back);
  if (p.kind == TGaugeKind::gkHorizontalBar) {
    int64_t f = SizeForPercent(ClampedPercent(p.percent), w);
    if (f > w) f = w;
    // The right edge is f itself, not r.left + f.
    if (f > 0) Fill(image, {r.left, r.top, static_cast<int>(f), h}, p.fore);
  } else {
    int64_t f = SizeForPercent(ClampedPercent(p.percent), h);
    if (f >= h) f = h - 1;
    const int64_t top = std::clamp<int64_t>(int64_t{h} - f, INT32_MIN, INT32_MAX);
    Fill(image, {r.left, static_cast<int>(top), w, h}, p.fore);
  }
}

void PaintAsPie(QImage& image, Bounds r, const GaugePicture& p) {
  Fill(image, r, p.color);
  QPainter painter(&image);
  painter.setPen(QColor::fromRgb(p.fore));
  painter.setBrush(QColor::fromRgb(p.back));
  const QRect box(r.left, r.top, r.right - r.left - 1, r.bottom - r.top - 1);
  painter.drawEllipse(box);
  if (p.percent > 0) {
    painter.setBrush(QColor::fromRgb(p.fore));
    // From twelve o'clock clockwise; Qt counts sixteenths of a degree counter-clockwise.
    const double degrees = static_cast<double>(std::min<int64_t>(p.percent, 100)) * 3.6;
    painter.drawPie(box, 90 * 16, -static_cast<int>(std::lround(degrees * 16)));
  }
}

void PaintAsNeedle(QImage& image, Bounds r, const GaugePicture& p) {
  Fill(image, r, p.color);
  const int w = r.right - r.left;
  const int h = r.bottom - r.top;
  if (w <= 1 || h <= 1) return;
  QPainter painter(&image);
  painter.setPen(QColor::fromRgb(p.fore));
  painter.setBrush(QColor::fromRgb(p.back));
  // The upper half of an ellipse standing on the bottom edge, with its base line.
  painter.drawChord(QRect(r.left, r.top, w - 1, 2 * h - 2), 0, 180 * 16);
  if (p.percent > 0) {
    const double share = static_cast<double>(std::min<int64_t>(p.percent, 100)) / 100.0;
    const double angle = std::numbers::pi * (1.0 - share);  // left at 0, up at 50, right at 100
    const int cx = r.left + (w - 1) / 2;
    const int cy = r.bottom - 1;
    const double rx = (w - 1) / 2.0;
    const double ry = h - 1;
    painter.drawLine(cx, cy, cx + static_cast<int>(std::lround(rx * std::cos(angle))),
                     cy - static_cast<int>(std::lround(ry * std::sin(angle))));
  }
}

void PaintAsText(QImage& image, Bounds r, const GaugePicture& p) {
  QImage text = MakeLike(image);
  PaintBackground(text);
  const QString s = QString::number(p.percent) + QLatin1Char('%');
  QFont font = p.font;
  // Whole glyph pixels only, so that every covered pixel is exactly inverted.
  font.setStyleStrategy(QFont::NoAntialias);
  const QFontMetrics metrics(font);
  const int text_width = metrics.horizontalAdvance(s);
  const int text_height = metrics.height();
  // Centred on the rectangle's size, used as absolute image coordinates.
  const int x = (r.right - r.left + 1 - text_width) / 2;
  const int y = (r.bottom - r.top + 1 - text_height) / 2;
  {
    QPainter painter(&text);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.setClipRect(r.ToQRect());
    painter.drawText(QRect(x, y, text_width, text_height),
                     Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine | Qt::TextDontClip, s);
  }
  XorInto(image, text);
}

}  // namespace

QImage PaintGauge(const GaugePicture& p) {
  QImage image(std::max(p.width, 0), std::max(p.height, 0), QImage::Format_RGB32);
  if (image.isNull()) return image;
  PaintBackground(image);
  Bounds r{0, 0, p.width, p.height};
  if (p.border == GaugeBorder::Single) r = {1, 1, p.width - 1, p.height - 1};

  QImage overlay = MakeLike(image);
  PaintBackground(overlay);
  switch (p.kind) {
    case TGaugeKind::gkText:
      Fill(overlay, r, p.back);
      break;
    case TGaugeKind::gkHorizontalBar:
    case TGaugeKind::gkVerticalBar:
      PaintAsBar(overlay, r, p);
      break;
    case TGaugeKind::gkPie:
      PaintAsPie(overlay, r, p);
      break;
    case TGaugeKind::gkNeedle:
      PaintAsNeedle(overlay, r, p);
      break;
  }
  XorInto(image, overlay);
  if (p.show_text) PaintAsText(image, r, p);
  return image;
}

}  // namespace rk5
