#include "gui/gauge/gauge_paint.h"

#include <gtest/gtest.h>

#include <QFontMetrics>
#include <set>

#include "gui/base/helper_look.h"
#include "support/qt_printers.h"

namespace rk5 {
namespace {

constexpr QRgb kEmpty = 0x3f4340;
constexpr QRgb kFilled = 0x272928;
constexpr QRgb kTextOverFilled = 0xd8d6d7;
constexpr QRgb kTextOverEmpty = 0xc0bcbf;

QRgb At(const QImage& image, int x, int y) { return image.pixel(x, y) & 0xffffff; }

// The windows' gauge: 265 x 25, single border, their colours and font.
GaugePicture SystemGauge(int64_t percent, bool text = true) {
  GaugePicture p;
  p.width = 265;
  p.height = 25;
  p.back = 0xff000000 | kEmpty;
  p.fore = 0xff000000 | kFilled;
  p.font = HelperFont();
  p.percent = percent;
  p.show_text = text;
  return p;
}

// The colour of each column on a row the text never reaches.
void ExpectColumns(const QImage& image, int filled_up_to, int row) {
  EXPECT_EQ(At(image, 0, row), 0u);
  EXPECT_EQ(At(image, 264, row), 0u);
  for (int x = 1; x <= 263; ++x) {
    ASSERT_EQ(At(image, x, row), x <= filled_up_to ? kFilled : kEmpty)
        << "column " << x << " row " << row;
  }
}

void ExpectBlackFrame(const QImage& image) {
  for (int x = 0; x < image.width(); ++x) {
    ASSERT_EQ(At(image, x, 0), 0u) << x;
    ASSERT_EQ(At(image, x, image.height() - 1), 0u) << x;
  }
  for (int y = 0; y < image.height(); ++y) {
    ASSERT_EQ(At(image, 0, y), 0u) << y;
    ASSERT_EQ(At(image, image.width() - 1, y), 0u) << y;
  }
}

TEST(GaugePaint, BarColumnsOfTheWindowsGauge) {
  const struct {
    int percent;
    int last_filled;
  } cases[] = {{0, 0}, {1, 1}, {50, 131}, {100, 263}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.percent);
    const QImage image = PaintGauge(SystemGauge(c.percent));
    ASSERT_EQ(image.size(), QSize(265, 25));
    for (int row : {1, 2, 4, 19, 23}) ExpectColumns(image, c.last_filled, row);
    ExpectBlackFrame(image);
  }
}

TEST(GaugePaint, TextIsInvertedOverBothParts) {
  const QImage image = PaintGauge(SystemGauge(50));
  const QFontMetrics metrics([] {
    QFont f = HelperFont();
    f.setStyleStrategy(QFont::NoAntialias);
    return f;
  }());
  ASSERT_EQ(metrics.height(), 13);
  const int text_x = (264 - metrics.horizontalAdvance(QStringLiteral("50%"))) / 2;
  int over_filled = 0, over_empty = 0;
  for (int y = 0; y < 25; ++y) {
    for (int x = 0; x < 265; ++x) {
      const QRgb c = At(image, x, y);
      if (c == kTextOverFilled || c == kTextOverEmpty) {
        // Glyph pixels stay inside the text cell at (X, 5).
        EXPECT_GE(y, 5);
        EXPECT_LT(y, 5 + 13);
        EXPECT_GE(x, text_x);
        if (c == kTextOverFilled) {
          EXPECT_LE(x, 131);
          ++over_filled;
        } else {
          EXPECT_GE(x, 132);
          ++over_empty;
        }
      } else {
        // Every other pixel is frame, filled or empty: nothing half-inverted.
        ASSERT_TRUE(c == 0 || c == kFilled || c == kEmpty) << std::hex << c << " at " << x << ","
                                                            << y;
      }
    }
  }
  EXPECT_GT(over_filled, 10);
  EXPECT_GT(over_empty, 10);
  ExpectBlackFrame(image);
}

TEST(GaugePaint, WithoutTextThePictureIsTheBarAlone) {
  const QImage image = PaintGauge(SystemGauge(50, false));
  for (int row = 1; row <= 23; ++row) ExpectColumns(image, 131, row);
}

TEST(GaugePaint, ZeroPercentTextIsCentred) {
  const QImage image = PaintGauge(SystemGauge(0));
  QFont font = HelperFont();
  font.setStyleStrategy(QFont::NoAntialias);
  const int advance = QFontMetrics(font).horizontalAdvance(QStringLiteral("0%"));
  const int text_x = (264 - advance) / 2;
  int inked = 0;
  for (int y = 1; y < 24; ++y) {
    for (int x = 1; x < 264; ++x) {
      if (At(image, x, y) == kTextOverEmpty) {
        ++inked;
        EXPECT_GE(x, text_x);
        EXPECT_LT(x, text_x + advance);
      } else {
        ASSERT_EQ(At(image, x, y), kEmpty);
      }
    }
  }
  EXPECT_GT(inked, 10);
}

TEST(GaugePaint, VerticalBarGrowsUpFromTheBottom) {
  GaugePicture p = SystemGauge(50, false);
  p.kind = TGaugeKind::gkVerticalBar;
  const QImage half = PaintGauge(p);
  // H = 24, F = 12: rows 12 to 23 filled.
  for (int y = 1; y <= 23; ++y) {
    for (int x : {1, 100, 263}) ASSERT_EQ(At(half, x, y), y >= 12 ? kFilled : kEmpty) << y;
  }
  p.percent = 100;  // F is held at H - 1: rows 1 to 23
  const QImage full = PaintGauge(p);
  for (int y = 1; y <= 23; ++y) ASSERT_EQ(At(full, 7, y), kFilled) << y;
  ExpectBlackFrame(full);
}

TEST(GaugePaint, WithoutBorderTheBarUsesEveryPixel) {
  GaugePicture p = SystemGauge(100, false);
  p.border = GaugeBorder::None;
  const QImage full = PaintGauge(p);
  for (int y = 0; y < 25; ++y) {
    for (int x = 0; x < 265; ++x) ASSERT_EQ(At(full, x, y), kFilled) << x << "," << y;
  }
  p.percent = 50;  // W = 266, F = 133: columns 0 to 132
  const QImage half = PaintGauge(p);
  EXPECT_EQ(At(half, 132, 10), kFilled);
  EXPECT_EQ(At(half, 133, 10), kEmpty);
  EXPECT_EQ(At(half, 0, 0), kFilled);
}

TEST(GaugePaint, TextKindShowsOnlyTheBackgroundAndText) {
  GaugePicture p = SystemGauge(75);
  p.kind = TGaugeKind::gkText;
  const QImage image = PaintGauge(p);
  std::set<QRgb> colours;
  for (int y = 1; y < 24; ++y) {
    for (int x = 1; x < 264; ++x) colours.insert(At(image, x, y));
  }
  EXPECT_EQ(colours, (std::set<QRgb>{kEmpty, kTextOverEmpty}));
  ExpectBlackFrame(image);
}

TEST(GaugePaint, PieFillsClockwiseFromTwelve) {
  GaugePicture p;
  p.width = p.height = 101;
  p.show_text = false;
  p.fore = 0xff0000ff;
  p.back = 0xffffff00;
  p.color = 0xff00ff00;
  p.kind = TGaugeKind::gkPie;
  p.percent = 25;
  const QImage image = PaintGauge(p);
  EXPECT_EQ(At(image, 70, 30), 0x0000ffu);  // upper right: inside the slice
  EXPECT_EQ(At(image, 30, 30), 0xffff00u);  // upper left: ellipse, not yet reached
  EXPECT_EQ(At(image, 30, 70), 0xffff00u);
  EXPECT_EQ(At(image, 2, 2), 0x00ff00u);    // outside the ellipse
  EXPECT_EQ(At(image, 0, 0), 0u);           // the border
  p.percent = 0;
  EXPECT_EQ(At(PaintGauge(p), 70, 30), 0xffff00u);
}

TEST(GaugePaint, NeedlePointsLeftUpAndRight) {
  GaugePicture p;
  p.width = 101;
  p.height = 51;
  p.show_text = false;
  p.fore = 0xff0000ff;
  p.back = 0xffffff00;
  p.color = 0xff00ff00;
  p.kind = TGaugeKind::gkNeedle;
  p.percent = 50;  // straight up from the bottom centre
  const QImage up = PaintGauge(p);
  EXPECT_EQ(At(up, 50, 20), 0x0000ffu);
  EXPECT_EQ(At(up, 30, 30), 0xffff00u);
  EXPECT_EQ(At(up, 2, 2), 0x00ff00u);
  p.percent = 100;  // along the base to the right
  const QImage right = PaintGauge(p);
  EXPECT_EQ(At(right, 50, 20), 0xffff00u);
  EXPECT_EQ(At(right, 80, 49), 0x0000ffu);
}

TEST(GaugePaint, DegenerateSizesDrawNothingAndDoNotCrash) {
  for (QSize size : {QSize(0, 0), QSize(1, 1), QSize(2, 2), QSize(3, 1), QSize(-5, 10)}) {
    for (TGaugeKind kind : {TGaugeKind::gkText, TGaugeKind::gkHorizontalBar,
                            TGaugeKind::gkVerticalBar, TGaugeKind::gkPie, TGaugeKind::gkNeedle}) {
      GaugePicture p = SystemGauge(100);
      p.width = size.width();
      p.height = size.height();
      p.kind = kind;
      const QImage image = PaintGauge(p);
      EXPECT_EQ(image.width(), std::max(0, size.width()));
    }
  }
  GaugePicture wild = SystemGauge(-2147483648LL * 3);
  EXPECT_EQ(PaintGauge(wild).size(), QSize(265, 25));
}

}  // namespace
}  // namespace rk5
