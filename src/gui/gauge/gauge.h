#pragma once
// TGauge: the progress display, a filled bar with the percentage written over it. It
// draws itself off screen and copies the finished picture in one go, and it is redrawn
// only when what it shows changes (for the progress: the whole-number percentage).
#include <QColor>
#include <QWidget>
#include <cstdint>

#include "gui/gauge/gauge_paint.h"
#include "gui/gauge/gauge_range.h"

namespace rk5 {

class TGauge : public QWidget {
  Q_OBJECT
  // What the windows' designs set.
  Q_PROPERTY(int MinValue READ MinValue WRITE SetMinValue)
  Q_PROPERTY(int MaxValue READ MaxValue WRITE SetMaxValue)
  Q_PROPERTY(int Progress READ Progress WRITE SetProgress)
  Q_PROPERTY(bool ShowText READ ShowText WRITE SetShowText)
  Q_PROPERTY(QColor ForeColor READ ForeColor WRITE SetForeColor)
  Q_PROPERTY(QColor BackColor READ BackColor WRITE SetBackColor)
  Q_PROPERTY(QColor Color READ Color WRITE SetColor)

 public:
  explicit TGauge(QWidget* parent = nullptr);

  int32_t MinValue() const { return range_.MinValue(); }
  int32_t MaxValue() const { return range_.MaxValue(); }
  int32_t Progress() const { return range_.Progress(); }
  int64_t PercentDone() const { return range_.PercentDone(); }
  TGaugeKind Kind() const { return kind_; }
  bool ShowText() const { return show_text_; }
  GaugeBorder BorderStyle() const { return border_; }
  QColor ForeColor() const { return QColor::fromRgb(fore_); }
  QColor BackColor() const { return QColor::fromRgb(back_); }
  QColor Color() const { return QColor::fromRgb(color_); }

  // MinValue and MaxValue throw InvalidOperation for an empty range ("Value must be
  // between %d and %d") except while the window loads its design.
  void SetMinValue(int32_t value);
  void SetMaxValue(int32_t value);
  void SetProgress(int32_t value);
  void SetKind(TGaugeKind kind);
  void SetShowText(bool show);
  void SetBorderStyle(GaugeBorder border);
  void SetForeColor(const QColor& colour);
  void SetBackColor(const QColor& colour);
  void SetColor(const QColor& colour);

  // The picture as Paint draws it. scale: the screen's pixels per design pixel; the
  // picture is then drawn as a gauge that many times larger, text included, so that it
  // stays sharp on a denser screen.
  QImage Picture(double scale = 1.0) const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void Repaint(bool needed);
  void SetColour(QRgb& field, const QColor& colour);

  GaugeRange range_;
  TGaugeKind kind_ = TGaugeKind::gkHorizontalBar;
  bool show_text_ = true;
  GaugeBorder border_ = GaugeBorder::Single;
  QRgb fore_ = 0xff000000;
  QRgb back_ = 0xffffffff;
  QRgb color_ = 0xff313532;  // the windows' background
};

}  // namespace rk5
