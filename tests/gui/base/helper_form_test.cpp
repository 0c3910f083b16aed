#include "gui/base/helper_form.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFontInfo>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QWindow>
#include <QtTest/QTest>

#include "gui/base/form_test_support.h"
#include "gui/base/glyph.h"
#include "gui/base/helper_look.h"
#include "support/qt_printers.h"

namespace rk5 {
namespace {

using test::At;
using test::Render;
using test::SampleDesign;
using test::SampleForm;

// Leftmost column with caption ink (bright pixels) in the band, left of the close button.
int FirstInk(const QImage& image, int stop_x) {
  for (int x = 1; x < stop_x; ++x) {
    for (int y = 1; y < 24; ++y) {
      if (qRed(image.pixel(x, y)) > 160 && qGreen(image.pixel(x, y)) > 160) return x;
    }
  }
  return -1;
}

int LastInk(const QImage& image, int stop_x) {
  for (int x = stop_x - 1; x > 0; --x) {
    for (int y = 1; y < 24; ++y) {
      if (qRed(image.pixel(x, y)) > 160 && qGreen(image.pixel(x, y)) > 160) return x;
    }
  }
  return -1;
}

TEST(HelperForm, OutlineBandAndBackground) {
  SampleForm form;
  const QImage image = Render(form);
  ASSERT_EQ(image.size(), QSize(311, 329));
  for (QPoint corner : {QPoint(0, 0), QPoint(310, 0), QPoint(0, 328), QPoint(310, 328)}) {
    EXPECT_EQ(At(image, corner.x(), corner.y()), 0x999999u) << corner.x() << "," << corner.y();
  }
  for (int y = 0; y < 329; ++y) {
    ASSERT_EQ(At(image, 0, y), 0x999999u) << y;
    ASSERT_EQ(At(image, 310, y), 0x999999u) << y;
  }
  for (int y = 1; y <= 23; ++y) {
    for (int x : {1, 200, 280}) ASSERT_EQ(At(image, x, y), 0x262626u) << x << "," << y;
  }
  for (int x = 1; x < 310; ++x) ASSERT_EQ(At(image, x, 24), 0x313532u) << x;
  EXPECT_EQ(At(image, 155, 200), 0x313532u);
  EXPECT_EQ(At(image, 155, 327), 0x313532u);
}

TEST(HelperForm, CaptionInBoldWhiteFromSixOrBesideTheIcon) {
  SampleForm plain;
  const QImage without_icon = Render(plain);
  const int first = FirstInk(without_icon, 280);
  EXPECT_GE(first, 6);
  EXPECT_LE(first, 8);
  // Bold: the ink is as wide as the bold caption, wider than the regular one.
  QFont bold = plain.font();
  bold.setBold(true);
  const int bold_width = QFontMetrics(bold).horizontalAdvance(plain.windowTitle());
  const int regular_width = QFontMetrics(plain.font()).horizontalAdvance(plain.windowTitle());
  ASSERT_GT(bold_width, regular_width);
  const int ink_width = LastInk(without_icon, 280) - first + 1;
  EXPECT_GT(ink_width, regular_width - 1);
  EXPECT_LE(ink_width, bold_width);

  SampleForm with_icon;
  QPixmap icon(16, 16);
  icon.fill(QColor(0xcc, 0x00, 0x00));
  with_icon.setWindowIcon(QIcon(icon));
  ASSERT_TRUE(with_icon.HasIcon());
  const QImage image = Render(with_icon);
  EXPECT_EQ(At(image, 6, 6), 0xcc0000u);
  EXPECT_EQ(At(image, 21, 21), 0xcc0000u);
  EXPECT_EQ(At(image, 22, 22), 0x262626u);
  EXPECT_EQ(At(image, 5, 5), 0x262626u);
  const int beside = FirstInk(image, 280);
  EXPECT_GE(beside, 25);
  EXPECT_LE(beside, 27);
}

TEST(HelperForm, CloseButtonSitsAtTheRightEdgeAfterEveryResize) {
  SampleForm form;
  QPushButton* button = form.CloseButton();
  ASSERT_NE(button, nullptr);
  EXPECT_EQ(button->parentWidget(), &form);
  EXPECT_TRUE(button->isFlat());
  EXPECT_EQ(button->geometry(), QRect(291, 5, 16, 16));
  form.show();
  form.resize(400, 329);
  EXPECT_EQ(button->geometry(), QRect(380, 5, 16, 16));
  form.resize(120, 60);
  EXPECT_EQ(button->geometry(), QRect(100, 5, 16, 16));
}

TEST(HelperForm, CloseGlyphShowsItsWhitePixelsOverTheBand) {
  SampleForm form;
  const QImage image = Render(form);
  const QImage glyph = LoadGlyphBitmap(QStringLiteral("BTNCLOSE"));
  ASSERT_EQ(glyph.size(), QSize(10, 9));
  // Centred in the 16 x 16 button at (291, 5): glyph origin (294, 8).
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < 16; ++x) {
      const int gx = x - 3, gy = y - 3;
      const bool white = gx >= 0 && gx < 10 && gy >= 0 && gy < 9 &&
                         (glyph.pixel(gx, gy) & 0xffffff) == 0xffffff;
      ASSERT_EQ(At(image, 291 + x, 5 + y), white ? 0xffffffu : 0x262626u) << x << "," << y;
    }
  }
}

TEST(HelperForm, LongCaptionRunsUnderTheCloseButton) {
  SampleDesign design;
  design.caption = QString(300, QLatin1Char('W')) + QChar(0x01) + QStringLiteral("\t\n\r");
  SampleForm form(design);
  const QImage image = Render(form);
  EXPECT_EQ(LastInk(image, 291), 290);  // the caption reaches the button
  // The button is painted over it: only the glyph's pixels are white there.
  const QImage glyph = LoadGlyphBitmap(QStringLiteral("BTNCLOSE"));
  EXPECT_EQ(At(image, 291, 5), 0x262626u);
  EXPECT_EQ(At(image, 294 + 1, 8 + 1), 0xffffffu);
  EXPECT_EQ(At(image, 294, 8), 0x262626u);
  EXPECT_EQ(At(image, 310, 100), 0x999999u);
}

TEST(HelperForm, CaptionChangeShowsInTheBand) {
  SampleForm form;
  const QImage before = Render(form);
  form.setWindowTitle(QStringLiteral("Downloading..."));
  const QImage after = Render(form);
  EXPECT_NE(before.copy(0, 0, 280, 24), after.copy(0, 0, 280, 24));
  EXPECT_EQ(before.copy(0, 24, 311, 305), after.copy(0, 24, 311, 305));
}

TEST(HelperForm, FramelessTranslucentVerdanaEight) {
  ASSERT_DOUBLE_EQ(QGuiApplication::primaryScreen()->logicalDotsPerInchY(), 96.0)
      << "window tests measure fonts at 96 dots per inch";
  SampleForm form;
  EXPECT_TRUE(form.windowFlags().testFlag(Qt::FramelessWindowHint));
  EXPECT_TRUE(form.isWindow());
  EXPECT_DOUBLE_EQ(form.windowOpacity(), 238 / 255.0);
  EXPECT_EQ(form.font().family(), QStringLiteral("Verdana"));
  EXPECT_EQ(form.font().pointSize(), 8);
  const QFontInfo info(form.font());
  EXPECT_EQ(info.family(), QStringLiteral("DejaVu Sans"));
  EXPECT_EQ(info.pixelSize(), 11);

  SampleDesign opaque;
  opaque.alpha = 255;
  EXPECT_DOUBLE_EQ(SampleForm(opaque).windowOpacity(), 1.0);
}

TEST(HelperForm, DragKeepsTheGrabbedPointUnderThePointer) {
  SampleForm form;
  form.move(50, 60);
  form.show();
  form.MouseDown(Qt::LeftButton, {}, 100, 10);
  ASSERT_TRUE(form.Dragging());
  EXPECT_EQ(form.DragX(), 100);
  EXPECT_EQ(form.DragY(), 10);
  // The pointer at screen (500, 300), reported in client coordinates.
  const QPoint local = form.mapFromGlobal(QPoint(500, 300));
  form.MouseMove({}, local.x(), local.y());
  EXPECT_EQ(form.pos(), QPoint(400, 290));
  form.MouseUp(Qt::LeftButton, {}, 0, 0);
  EXPECT_FALSE(form.Dragging());
  form.MouseMove({}, 5, 5);
  EXPECT_EQ(form.pos(), QPoint(400, 290));
}

TEST(HelperForm, TheBandEndsAtRowTwentyThree) {
  SampleForm form;
  form.MouseDown(Qt::LeftButton, {}, 40, 23);
  EXPECT_TRUE(form.Dragging());
  form.MouseDown(Qt::LeftButton, {}, 40, 24);
  EXPECT_FALSE(form.Dragging());
  form.MouseDown(Qt::RightButton, {}, 40, 0);
  EXPECT_TRUE(form.Dragging());
  form.MouseUp(Qt::MiddleButton, {}, 40, 0);  // any release ends it
  EXPECT_FALSE(form.Dragging());
}

TEST(HelperForm, RealPointerInputMovesTheWindowByItsBand) {
  SampleForm form;
  form.move(50, 60);
  form.show();
  QWindow* window = form.windowHandle();
  ASSERT_NE(window, nullptr);
  QTest::mousePress(window, Qt::RightButton, {}, QPoint(100, 10));
  EXPECT_TRUE(form.Dragging());
  QTest::mouseMove(window, window->mapFromGlobal(QPoint(500, 300)));
  EXPECT_EQ(form.pos(), QPoint(400, 290));
  QTest::mouseRelease(window, Qt::RightButton, {}, window->mapFromGlobal(QPoint(500, 300)));
  EXPECT_FALSE(form.Dragging());

  QTest::mousePress(window, Qt::LeftButton, {}, QPoint(100, 24));
  EXPECT_FALSE(form.Dragging());
  QTest::mouseMove(window, QPoint(150, 80));
  EXPECT_EQ(form.pos(), QPoint(400, 290));
  QTest::mouseRelease(window, Qt::LeftButton, {}, QPoint(150, 80));
}

TEST(HelperForm, PressesOnChildControlsDoNotMoveTheWindow) {
  SampleForm form;
  auto* label = new QLabel(QStringLiteral("in the band"), &form);
  label->setGeometry(40, 2, 100, 20);
  form.show();
  QWindow* window = form.windowHandle();
  QTest::mousePress(window, Qt::LeftButton, {}, QPoint(50, 10));
  EXPECT_FALSE(form.Dragging());
  QTest::mouseRelease(window, Qt::LeftButton, {}, QPoint(50, 10));
  QTest::mousePress(window, Qt::LeftButton, {}, QPoint(298, 12));  // the close button
  EXPECT_FALSE(form.Dragging());
  QTest::mouseRelease(window, Qt::RightButton, {}, QPoint(0, 0));
  // A disabled control takes no input: the press reaches the window.
  label->setEnabled(false);
  QTest::mousePress(window, Qt::LeftButton, {}, QPoint(50, 10));
  EXPECT_TRUE(form.Dragging());
  QTest::mouseRelease(window, Qt::LeftButton, {}, QPoint(50, 10));
}

TEST(HelperForm, CloseButtonRunsTheCloseOperation) {
  SampleForm form;
  form.show();
  form.grant_close = false;
  QTest::mouseClick(form.windowHandle(), Qt::LeftButton, {}, QPoint(298, 12));
  EXPECT_EQ(form.close_queries, 1);
  EXPECT_TRUE(form.isVisible());
  form.grant_close = true;
  QTest::mouseClick(form.windowHandle(), Qt::RightButton, {}, QPoint(298, 12));
  EXPECT_EQ(form.close_queries, 1);  // a click is a left-button click
  QTest::mouseClick(form.windowHandle(), Qt::LeftButton, {}, QPoint(298, 12));
  EXPECT_EQ(form.close_queries, 2);
  EXPECT_FALSE(form.isVisible());
}

TEST(HelperForm, CloseActionsHideKeepOrFree) {
  SampleForm kept;
  kept.show();
  kept.close_action = THelperForm::CloseAction::None;
  EXPECT_FALSE(kept.close());
  EXPECT_TRUE(kept.isVisible());

  QPointer<SampleForm> freed = new SampleForm;
  freed->show();
  freed->close_action = THelperForm::CloseAction::Free;
  EXPECT_TRUE(freed->close());
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(freed.isNull());
}

TEST(HelperForm, CentredOnTheDesktopWhenFirstShown) {
  SampleForm form;
  form.SetCentreOnDesktop(true);
  form.move(3, 4);
  form.show();
  const QRect desktop = QGuiApplication::primaryScreen()->virtualGeometry();
  EXPECT_EQ(form.pos(), QPoint(desktop.left() + (desktop.width() - 311) / 2,
                               desktop.top() + (desktop.height() - 329) / 2));
  form.hide();
  form.move(10, 10);
  form.show();  // only the first showing centres
  EXPECT_EQ(form.pos(), QPoint(10, 10));
}

TEST(HelperForm, TaskBarShowsTheRunsTitleNotTheCaption) {
  RunTitle title;
  SampleForm form({}, &title);
  form.setWindowTitle(QStringLiteral("Downloading..."));
  form.show();
  ASSERT_NE(form.windowHandle(), nullptr);
  EXPECT_EQ(form.windowHandle()->title(), QStringLiteral("Rk5 Helper"));
  title.SetText(QStringLiteral("Downloading Tool"));
  EXPECT_EQ(form.windowHandle()->title(), QStringLiteral("Downloading Tool"));
  form.setWindowTitle(QStringLiteral("Rk5 Helper"));
  EXPECT_EQ(form.windowHandle()->title(), QStringLiteral("Downloading Tool"));
  EXPECT_EQ(form.windowTitle(), QStringLiteral("Rk5 Helper"));
}

}  // namespace
}  // namespace rk5
