#include "gui/base/glyph.h"

#include <gtest/gtest.h>

#include <set>
#include <utility>

#include "support/qt_printers.h"

namespace rk5 {
namespace {

TEST(CloseGlyph, IsAWhiteCrossOnGreenOfTenByNine) {
  const QImage bitmap = LoadGlyphBitmap(QStringLiteral("BTNCLOSE"));
  ASSERT_FALSE(bitmap.isNull());
  EXPECT_EQ(bitmap.size(), QSize(10, 9));
  EXPECT_EQ(bitmap.depth(), 32);  // read from 24 bits per pixel
  const std::set<std::pair<int, int>> white = {
      {1, 1}, {2, 1}, {7, 1}, {8, 1}, {2, 2}, {3, 2}, {6, 2}, {7, 2}, {3, 3}, {4, 3}, {5, 3},
      {6, 3}, {4, 4}, {5, 4}, {3, 5}, {4, 5}, {5, 5}, {6, 5}, {2, 6}, {3, 6}, {6, 6}, {7, 6},
      {1, 7}, {2, 7}, {7, 7}, {8, 7}};
  for (int y = 0; y < 9; ++y) {
    for (int x = 0; x < 10; ++x) {
      const QRgb expected = white.count({x, y}) ? 0xffffff : 0x00ff00;
      ASSERT_EQ(bitmap.pixel(x, y) & 0xffffff, expected) << x << "," << y;
    }
  }
}

TEST(CloseGlyph, BottomLeftColourBecomesTransparent) {
  const QImage glyph = LoadGlyph(QStringLiteral("BTNCLOSE"));
  ASSERT_EQ(glyph.size(), QSize(10, 9));
  EXPECT_EQ(qAlpha(glyph.pixel(0, 8)), 0);
  EXPECT_EQ(qAlpha(glyph.pixel(0, 0)), 0);
  EXPECT_EQ(glyph.pixel(4, 4), 0xffffffffu);
  EXPECT_TRUE(LoadGlyph(QStringLiteral("NOSUCHGLYPH")).isNull());
}

}  // namespace
}  // namespace rk5
