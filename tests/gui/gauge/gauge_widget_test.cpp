#include "gui/gauge/gauge.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QWidget>
#include <string>

#include "support/qt_printers.h"
#include "gui/base/design_loading.h"
#include "gui/base/helper_look.h"

namespace rk5 {
namespace {

// Counts the gauge's paints; a repaint is synchronous, so a count taken right after a
// setter shows whether that setter redrew the gauge.
class CountingGauge : public TGauge {
 public:
  using TGauge::TGauge;
  int paints = 0;

 protected:
  void paintEvent(QPaintEvent* event) override {
    ++paints;
    TGauge::paintEvent(event);
  }
};

// A shown window with the windows' gauge on it, all pending paints done.
class GaugeOnWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    window.setFont(HelperFont());
    window.resize(320, 120);
    gauge = new CountingGauge(&window);
    gauge->setGeometry(16, 52, 265, 25);
    gauge->SetBackColor(QColor(0x3f, 0x43, 0x40));
    gauge->SetForeColor(QColor(0x27, 0x29, 0x28));
    window.show();
    QCoreApplication::processEvents();
    gauge->paints = 0;
  }

  QWidget window;
  CountingGauge* gauge = nullptr;
};

TEST(Gauge, ValuesAtCreation) {
  TGauge gauge;
  EXPECT_EQ(gauge.MinValue(), 0);
  EXPECT_EQ(gauge.MaxValue(), 100);
  EXPECT_EQ(gauge.Progress(), 0);
  EXPECT_EQ(gauge.Kind(), TGaugeKind::gkHorizontalBar);
  EXPECT_TRUE(gauge.ShowText());
  EXPECT_EQ(gauge.BorderStyle(), GaugeBorder::Single);
  EXPECT_EQ(gauge.ForeColor(), QColor(Qt::black));
  EXPECT_EQ(gauge.BackColor(), QColor(Qt::white));
  EXPECT_EQ(gauge.size(), QSize(100, 100));
  EXPECT_TRUE(gauge.testAttribute(Qt::WA_OpaquePaintEvent));
}

TEST_F(GaugeOnWindow, ProgressRepaintsOnlyWhenThePercentageMoves) {
  gauge->SetMaxValue(1000);
  EXPECT_EQ(gauge->paints, 1);
  gauge->SetProgress(10);
  EXPECT_EQ(gauge->paints, 2);
  for (int v = 11; v <= 19; ++v) gauge->SetProgress(v);
  EXPECT_EQ(gauge->Progress(), 19);
  EXPECT_EQ(gauge->paints, 2);
  gauge->SetProgress(20);
  EXPECT_EQ(gauge->paints, 3);
  // The windows' pair on every report: the same total costs nothing.
  gauge->SetMaxValue(1000);
  gauge->SetProgress(25);
  EXPECT_EQ(gauge->paints, 3);
}

TEST_F(GaugeOnWindow, OtherPropertiesRepaintOnlyWhenChanged) {
  gauge->SetKind(TGaugeKind::gkHorizontalBar);
  gauge->SetShowText(true);
  gauge->SetBorderStyle(GaugeBorder::Single);
  gauge->SetBackColor(QColor(0x3f, 0x43, 0x40));
  gauge->SetMinValue(0);
  EXPECT_EQ(gauge->paints, 0);
  gauge->SetKind(TGaugeKind::gkVerticalBar);
  gauge->SetShowText(false);
  gauge->SetBorderStyle(GaugeBorder::None);
  gauge->SetForeColor(Qt::red);
  gauge->SetColor(Qt::blue);
  gauge->SetMinValue(-10);
  EXPECT_EQ(gauge->paints, 6);
}

TEST_F(GaugeOnWindow, HiddenGaugeIsNotRedrawn) {
  gauge->hide();
  gauge->SetProgress(50);
  gauge->SetMaxValue(10);
  EXPECT_EQ(gauge->paints, 0);
  EXPECT_EQ(gauge->Progress(), 10);
}

TEST_F(GaugeOnWindow, ScreenShowsThePicture) {
  gauge->SetProgress(50);
  const QImage shown = window.grab(gauge->geometry()).toImage().convertToFormat(QImage::Format_RGB32);
  EXPECT_EQ(shown, gauge->Picture().convertToFormat(QImage::Format_RGB32));
  EXPECT_EQ(shown.pixel(131, 2) & 0xffffff, 0x272928u);
  EXPECT_EQ(shown.pixel(132, 2) & 0xffffff, 0x3f4340u);
}

TEST(Gauge, RangeErrorsReachTheCaller) {
  TGauge gauge;
  gauge.SetProgress(30);
  try {
    gauge.SetMaxValue(-1);
    ADD_FAILURE() << "no error";
  } catch (const InvalidOperation& error) {
    EXPECT_STREQ(error.what(), "Value must be between 1 and 2147483647");
  }
  EXPECT_EQ(gauge.MaxValue(), 100);
  EXPECT_EQ(gauge.Progress(), 30);
  EXPECT_THROW(gauge.SetMinValue(101), InvalidOperation);
  EXPECT_EQ(gauge.MinValue(), 0);
}

TEST(Gauge, DesignLoadingSkipsTheRangeChecks) {
  QWidget window;
  auto* gauge = new TGauge(&window);
  TGauge elsewhere;  // in another window, which is not loading
  {
    DesignLoading loading(window);
    gauge->SetMinValue(200);  // before the design's MaxValue arrives
    gauge->SetMaxValue(300);
    EXPECT_THROW(elsewhere.SetMinValue(200), InvalidOperation);
  }
  EXPECT_EQ(gauge->MinValue(), 200);
  EXPECT_EQ(gauge->MaxValue(), 300);
  EXPECT_EQ(gauge->Progress(), 200);
  EXPECT_THROW(gauge->SetMaxValue(100), InvalidOperation);
}

TEST(Gauge, DesignPropertiesAreSetByName) {
  TGauge gauge;
  EXPECT_TRUE(gauge.setProperty("Progress", 50));
  EXPECT_TRUE(gauge.setProperty("BackColor", QColor(0x3f, 0x43, 0x40)));
  EXPECT_TRUE(gauge.setProperty("MaxValue", 200));
  EXPECT_EQ(gauge.Progress(), 50);
  EXPECT_EQ(gauge.PercentDone(), 25);
  EXPECT_EQ(gauge.BackColor(), QColor(0x3f, 0x43, 0x40));
}

TEST(Gauge, ExtremeValuesNeitherOverflowNorCrash) {
  TGauge gauge;
  gauge.resize(265, 25);
  gauge.SetMaxValue(2147483647);
  gauge.SetMinValue(-2147483647 - 1);
  gauge.SetProgress(2147483647);
  EXPECT_EQ(gauge.PercentDone(), 100);
  EXPECT_EQ(gauge.Picture().pixel(263, 2) & 0xffffff, 0u);  // ForeColor is black here
  gauge.SetProgress(-2147483647 - 1);
  EXPECT_EQ(gauge.PercentDone(), 0);
  EXPECT_EQ(gauge.Picture().pixel(1, 2) & 0xffffff, 0xffffffu);
  gauge.SetMaxValue(-2147483647 - 1);  // a range of 0
  EXPECT_EQ(gauge.PercentDone(), 0);
  EXPECT_EQ(gauge.Progress(), -2147483647 - 1);
}

}  // namespace
}  // namespace rk5
