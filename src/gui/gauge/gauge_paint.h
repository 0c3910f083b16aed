#pragma once
// The gauge's picture, built off screen: the kind's drawing inside the paint rectangle,
// combined into a black image by exclusive-or, then the percentage text inverted over it.
#include <QFont>
#include <QImage>
#include <QRgb>
#include <cstdint>

namespace rk5 {

enum class TGaugeKind { gkText, gkHorizontalBar, gkVerticalBar, gkPie, gkNeedle };
enum class GaugeBorder { None, Single };  // single: a one-pixel black frame

struct GaugePicture {
  int width = 100;
  int height = 100;
  TGaugeKind kind = TGaugeKind::gkHorizontalBar;
  bool show_text = true;
  GaugeBorder border = GaugeBorder::Single;
  QRgb fore = 0xff000000;   // filled part and outlines
  QRgb back = 0xffffffff;   // unfilled part
  QRgb color = 0xff313532;  // around the pie and the needle
  QFont font;
  int64_t percent = 0;
};

QImage PaintGauge(const GaugePicture& picture);

}  // namespace rk5
