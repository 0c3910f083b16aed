#include "gui/startup/frm_alert.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFontInfo>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QWindow>
#include <QtTest/QTest>
#include <string>
#include <vector>

#include "selfinstall/run_state.h"
#include "support/qt_printers.h"

namespace rk5 {
namespace {

// Each test has a run of its own; StartRun begins a fresh one with the given mode.
class AlertTest : public ::testing::Test {
 protected:
  void StartRun(const std::string& mode) {
    run_ = RunState{};
    run_.RunMode = mode;
  }

  RunState run_;
};

// The message window being shown; when there is none the test fails and every window is
// hidden, so that no modal loop is left waiting.
TAlertBox* ShownAlert() {
  auto* alert = qobject_cast<TAlertBox*>(QApplication::activeModalWidget());
  if (alert == nullptr) {
    ADD_FAILURE() << "no message window is shown";
    for (QWidget* w : QApplication::topLevelWidgets()) w->hide();
  }
  return alert;
}

void CloseShownAlert() {
  if (TAlertBox* alert = ShownAlert()) alert->close();
}

bool AnyAlertLeft() {
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (qobject_cast<TAlertBox*>(w) != nullptr) return true;
  }
  return false;
}

// Runs action inside the next modal loop.
void WhenShown(std::function<void()> action) { QTimer::singleShot(0, std::move(action)); }

TEST_F(AlertTest, DesignOfTheMessageWindow) {
  TAlertBox alert;
  EXPECT_EQ(alert.size(), QSize(256, 111));
  EXPECT_EQ(alert.windowTitle(), QStringLiteral("Rk5 Helper"));
  EXPECT_DOUBLE_EQ(alert.windowOpacity(), 238 / 255.0);
  EXPECT_TRUE(alert.windowFlags().testFlag(Qt::FramelessWindowHint));
  EXPECT_EQ(alert.Label1()->geometry(), QRect(16, 40, 233, 49));
  EXPECT_TRUE(alert.Label1()->wordWrap());
  EXPECT_EQ(alert.Label1()->text(), QStringLiteral("Label1"));
  EXPECT_EQ(alert.btnDl()->geometry(), QRect(176, 76, 65, 21));
  EXPECT_EQ(alert.btnDl()->text(), QStringLiteral("OK"));
  EXPECT_TRUE(alert.btnDl()->isFlat());
  EXPECT_EQ(alert.CloseButton()->geometry(), QRect(236, 5, 16, 16));
  // The button lies over the label's lower right part.
  EXPECT_EQ(alert.childAt(200, 80), alert.btnDl());
  EXPECT_EQ(alert.childAt(100, 80), alert.Label1());
  EXPECT_EQ(alert.Label1()->palette().color(QPalette::WindowText), QColor(Qt::white));
  EXPECT_EQ(alert.btnDl()->palette().color(QPalette::ButtonText), QColor(Qt::white));
}

TEST_F(AlertTest, VerdanaEightReplacesTheDesignedTahoma) {
  TAlertBox alert;
  for (QWidget* widget : {static_cast<QWidget*>(&alert), static_cast<QWidget*>(alert.Label1()),
                          static_cast<QWidget*>(alert.btnDl())}) {
    EXPECT_EQ(widget->font().family(), QStringLiteral("Verdana"))
        << qPrintable(widget->objectName());
    EXPECT_EQ(widget->font().pointSize(), 8);
    EXPECT_EQ(QFontInfo(widget->font()).family(), QStringLiteral("DejaVu Sans"));
    EXPECT_EQ(QFontInfo(widget->font()).pixelSize(), 11);
  }
}

TEST_F(AlertTest, ShowAlertReturnsWhenOkIsClicked) {
  QString shown_text;
  QPoint shown_at;
  WhenShown([&] {
    TAlertBox* alert = ShownAlert();
    if (alert == nullptr) return;
    shown_text = alert->Label1()->text();
    shown_at = alert->pos();
    QTest::mouseClick(alert->windowHandle(), Qt::LeftButton, {}, QPoint(200, 90));
  });
  ShowAlert("Desktop shortcut created!");
  EXPECT_EQ(shown_text, QStringLiteral("Desktop shortcut created!"));
  const QRect desktop = QGuiApplication::primaryScreen()->virtualGeometry();
  EXPECT_EQ(shown_at, QPoint(desktop.left() + (desktop.width() - 256) / 2,
                             desktop.top() + (desktop.height() - 111) / 2));
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
  EXPECT_FALSE(AnyAlertLeft());
}

TEST_F(AlertTest, ShowAlertReturnsWhenTheCloseButtonIsClicked) {
  bool clicked = false;
  WhenShown([&] {
    TAlertBox* alert = ShownAlert();
    if (alert == nullptr) return;
    QTest::mouseClick(alert->windowHandle(), Qt::LeftButton, {}, QPoint(243, 12));
    clicked = true;
  });
  ShowAlert(std::string_view("Can't connect to server!"));
  EXPECT_TRUE(clicked);
  EXPECT_FALSE(AnyAlertLeft());
}

TEST_F(AlertTest, HandlersMayStackASecondMessage) {
  std::vector<QString> order;
  WhenShown([&] {
    TAlertBox* first = ShownAlert();
    if (first == nullptr) return;
    WhenShown([&, first] {
      TAlertBox* second = ShownAlert();
      if (second == nullptr) return;
      EXPECT_NE(second, first);
      EXPECT_TRUE(first->isVisible());
      order.push_back(second->Label1()->text());
      second->close();
    });
    ShowAlert("second");
    order.push_back(first->Label1()->text());
    first->btnDl()->click();
  });
  ShowAlert("first");
  EXPECT_EQ(order, (std::vector<QString>{QStringLiteral("second"), QStringLiteral("first")}));
}

TEST_F(AlertTest, OverlongAndControlTextIsCutOffAtTheLabel) {
  const std::string long_text(10000, 'x');
  std::string control("line\x01\x02\x7f\x1b[2J\r\n\t<b>bold</b> & more");
  control.push_back('\0');
  control += "after nul";
  std::string words;
  for (int i = 0; i < 2000; ++i) words += "word ";
  for (const std::string& text : {long_text, control, words}) {
    QRect label_geometry;
    QString label_text;
    WhenShown([&] {
      TAlertBox* alert = ShownAlert();
      ASSERT_NE(alert, nullptr);
      alert->grab();  // paints without trouble
      label_geometry = alert->Label1()->geometry();
      label_text = alert->Label1()->text();
      alert->close();
    });
    ShowAlert(std::string_view(text));
    EXPECT_EQ(label_geometry, QRect(16, 40, 233, 49));
    EXPECT_EQ(label_text.size(), static_cast<qsizetype>(text.size()));
  }
}

TEST_F(AlertTest, MessagesAreInertInEveryRun) {
  std::vector<std::string> work;
  const StartupModeWork record = [&](TfrmAlert&, const std::string& mode) { work.push_back(mode); };
  StartRun("");  // the main window's run: its first start-up window finds no mode to act on
  { TfrmAlert first(run_, record); }
  EXPECT_TRUE(run_.ModeHandled);
  run_.RunMode = "/install";  // too late: the flag is consumed
  { TfrmAlert second(run_, record); }
  StartRun("/install");  // messages are made without the run, whatever its mode
  WhenShown(CloseShownAlert);
  ShowAlert("one");
  { TAlertBox message; }
  EXPECT_FALSE(run_.ModeHandled);
  EXPECT_TRUE(work.empty());
}

TEST_F(AlertTest, FirstWindowOfAStartupModeCarriesOutThatModeOnce) {
  for (const char* mode : {"/run", "/install", "/installed", "/update"}) {
    std::vector<std::string> work;
    const StartupModeWork record = [&](TfrmAlert& window, const std::string& m) {
      EXPECT_FALSE(window.isVisible());
      EXPECT_TRUE(run_.ModeHandled);
      work.push_back(m);
    };
    StartRun(mode);
    { TfrmAlert startup(run_, record); }
    { TfrmAlert again(run_, record); }
    { TAlertBox message; }
    EXPECT_EQ(work, std::vector<std::string>{mode}) << mode;
  }
  for (const char* mode : {"", "/dl", "/RUN", "/install ", "/updat"}) {
    bool ran = false;
    StartRun(mode);
    TfrmAlert window(run_, [&](TfrmAlert&, const std::string&) { ran = true; });
    EXPECT_FALSE(ran) << mode;
    EXPECT_TRUE(run_.ModeHandled) << mode;
  }
}

TEST_F(AlertTest, AMessageShownByTheModeItselfStaysAMessage) {
  int runs = 0;
  StartupModeWork work;
  work = [&](TfrmAlert&, const std::string&) {
    ++runs;
    WhenShown(CloseShownAlert);
    ShowAlert("from inside the mode");
    TfrmAlert nested(run_, work);  // a second start-up window of the same run
  };
  StartRun("/installed");
  TfrmAlert startup(run_, work);
  EXPECT_EQ(runs, 1);
}

TEST_F(AlertTest, WithoutRegisteredWorkAStartupModeDoesNothingHere) {
  StartRun("/install");
  TfrmAlert startup(run_, nullptr);
  EXPECT_TRUE(run_.ModeHandled);
  EXPECT_FALSE(startup.isVisible());
  EXPECT_EQ(startup.Label1()->text(), QStringLiteral("Label1"));
}

}  // namespace
}  // namespace rk5
