// The catalogue window on the offscreen platform: its layout, its rows drawn into images,
// the popup menu, the update-required look, and refreshes through the real fetch
// component against the loopback test server.
#include "gui/main/main_window.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "selfinstall/run_state.h"
#include "gui/main/program_list.h"
#include "support/event_wait.h"
#include "support/http_test_server.h"
#include "net/http_fetch.h"
#include "support/alert_catcher.h"
#include "support/http_test_server.h"
#include "support/qt_printers.h"
#include "support/temp_dir.h"

namespace rk5 {
namespace {

using test::ReadFileBytes;
using test::WriteFileBytes;

const char* kLocal =
    "[Absent]\nName=Absent\nOVersion=0.9\nOBuild=1\nBy=Nobody\n"
    "[Ready]\nName=Ready\nVersion=1.0\nOVersion=1.0\nBuild=4\nOBuild=4\nInstalled=1\n"
    "[Old]\nName=Old\nVersion=1.0\nOVersion=2.0\nBuild=4\nOBuild=5\nInstalled=1\n";

class MainWindow : public ::testing::Test {
 protected:
  void SetUp() override { run_.ProgramFolder = dir_.folder(); }

  std::unique_ptr<TMain> Open(const std::string& local, IconBuilder icons = {}) {
    if (!local.empty()) WriteFileBytes(dir_.file("Local.ini"), local);
    return std::make_unique<TMain>(run_, std::move(icons));
  }

  test::TempDir dir_;
  RunState run_;  // this test's run
};

QColor TextColour(QWidget* w, QPalette::ColorRole role) { return w->palette().color(role); }

TEST_F(MainWindow, ControlsSitWhereTheDesignPutsThem) {
  auto main = Open("");
  EXPECT_EQ(main->size(), QSize(311, 329));
  EXPECT_EQ(main->windowTitle(), "Rk5 Helper");
  EXPECT_TRUE(main->HasIcon());
  struct Expected {
    const char* name;
    QRect rect;
    const char* text;
  } controls[] = {
      {"c", {16, 32, 60, 13}, "Programs:"},
      {"List", {16, 56, 283, 170}, nullptr},
      {"Label4", {32, 56, 237, 13}, "Press 'Refresh' to search for programs...."},
      {"ProgressBar", {24, 52, 265, 25}, nullptr},
      {"btnRefresh", {16, 238, 57, 21}, "Refresh"},
      {"btnDl", {80, 238, 65, 21}, "Download"},
      {"btnUpdate", {152, 238, 65, 21}, "Update "},
      {"btnAbout", {232, 238, 65, 21}, "About"},
      {"Shape1", {16, 265, 283, 1}, nullptr},
      {"Label3", {16, 273, 165, 13}, "Yellow - Program is outdated"},
      {"Label2", {16, 289, 169, 13}, "White - Program ready to run"},
      {"Label1", {16, 305, 163, 13}, "Gray - Program not installed"},
  };
  for (const Expected& e : controls) {
    QWidget* w = main->Control(e.name);
    ASSERT_NE(w, nullptr) << e.name;
    EXPECT_EQ(w->geometry(), e.rect) << e.name;
    if (auto* label = qobject_cast<QLabel*>(w); label && e.text) {
      EXPECT_EQ(label->text(), e.text);
    }
    if (auto* button = qobject_cast<QPushButton*>(w); button && e.text) {
      EXPECT_EQ(button->text(), e.text);
    }
  }
  EXPECT_EQ(TextColour(main->Control("Label3"), QPalette::WindowText), QColor(0xDE, 0xC7, 0x6B));
  EXPECT_EQ(TextColour(main->Control("Label1"), QPalette::WindowText), QColor(0xBF, 0xBF, 0xBF));
  EXPECT_EQ(TextColour(main->Control("Label4"), QPalette::WindowText), QColor(0x85, 0x9C, 0x86));
  EXPECT_EQ(TextColour(main->btnAbout(), QPalette::ButtonText), QColor(0x85, 0x9C, 0x86));
  EXPECT_EQ(TextColour(main->btnRefresh(), QPalette::ButtonText), QColor(Qt::white));
  EXPECT_TRUE(main->btnUpdate()->font().bold());
  EXPECT_TRUE(main->btnUpdate()->isHidden());
  EXPECT_TRUE(main->Control("ProgressBar")->isHidden());
  // Controls keep their distances to the edges they are anchored to.
  main->show();
  main->resize(411, 429);
  EXPECT_EQ(main->List()->geometry(), QRect(16, 56, 383, 270));
  EXPECT_EQ(main->btnRefresh()->geometry(), QRect(16, 338, 57, 21));
  EXPECT_EQ(main->Control("Shape1")->geometry(), QRect(16, 365, 383, 1));
  EXPECT_EQ(main->Control("c")->geometry(), QRect(16, 32, 60, 13));
}

TEST_F(MainWindow, SitsSixteenPixelsInFromTheWorkAreasBottomRight) {
  auto main = Open("");
  main->PlaceInWorkArea(QRect(0, 0, 1920, 1040));
  EXPECT_EQ(main->pos(), QPoint(1920 - 311 - 16, 1040 - 329 - 16));
  main->PlaceInWorkArea(QRect(100, 50, 800, 600));
  EXPECT_EQ(main->pos(), QPoint(573, 305));
  main->PlaceInWorkArea(QRect(100, 50, 300, 200));  // too small: the band stays on it
  EXPECT_EQ(main->pos(), QPoint(100, 50));
}

TEST_F(MainWindow, TheHintShowsExactlyWhenTheListIsEmpty) {
  auto main = Open("");
  EXPECT_TRUE(main->List()->isHidden());
  EXPECT_EQ(main->List()->count(), 0);
  WriteFileBytes(dir_.file("Local.ini"), "[Rk5Helper]\nBuild=2\n");
  main->ReadLocal();
  EXPECT_TRUE(main->List()->isHidden());  // the program's own section is no tool
  WriteFileBytes(dir_.file("Local.ini"), kLocal);
  main->ReadLocal();
  EXPECT_FALSE(main->List()->isHidden());
  ASSERT_EQ(main->List()->count(), 3);
  EXPECT_EQ(main->List()->item(2)->text(), "Old");
  EXPECT_EQ(main->Entry(2)->Section, "Old");
}

// One row drawn the way the list draws it.
QImage Row(TMain& main, int index, bool selected) {
  QImage image(283, 34, QImage::Format_RGB32);
  image.fill(Qt::black);
  QPainter painter(&image);
  painter.setFont(main.List()->font());
  main.ListDrawItem(painter, index, QRect(0, 0, 283, 34), selected);
  return image;
}

// Antialiased text blends its colour into the background, so ink is measured along the
// line from the background colour to the text colour: coverage 0 is background, 1 is the
// full colour; a pixel off that line is ink of another colour.
struct Ink {
  int first_x = -1;       // leftmost column that differs from the background
  double coverage = 0.0;  // highest coverage of the colour among its pixels
  int count = 0;          // pixels of at least half coverage
};
Ink InkOf(const QImage& image, QRgb colour, int top, int bottom, QRgb background = 0x313532) {
  Ink ink;
  const double e[3] = {double(qRed(colour)) - qRed(background),
                       double(qGreen(colour)) - qGreen(background),
                       double(qBlue(colour)) - qBlue(background)};
  const double ee = e[0] * e[0] + e[1] * e[1] + e[2] * e[2];
  for (int y = top; y <= bottom; ++y) {
    for (int x = 0; x < image.width(); ++x) {
      const QRgb p = image.pixel(x, y);
      const double d[3] = {double(qRed(p)) - qRed(background), double(qGreen(p)) - qGreen(background),
                           double(qBlue(p)) - qBlue(background)};
      if (std::abs(d[0]) + std::abs(d[1]) + std::abs(d[2]) < 24) continue;
      if (ink.first_x < 0 || x < ink.first_x) ink.first_x = x;
      const double t = (d[0] * e[0] + d[1] * e[1] + d[2] * e[2]) / ee;
      double off = 0;
      for (int c = 0; c < 3; ++c) off += std::abs(d[c] - t * e[c]);
      if (off > 24) continue;
      ink.coverage = std::max(ink.coverage, t);
      if (t >= 0.5) ++ink.count;
    }
  }
  return ink;
}

TEST_F(MainWindow, RowsAreDrawnInTheColoursOfTheirState) {
  auto main = Open(kLocal);
  QImage absent = Row(*main, 0, false), ready = Row(*main, 1, false), old = Row(*main, 2, false);
  EXPECT_EQ(absent.pixel(200, 30) & 0xFFFFFF, 0x313532u);  // background
  // First lines (rows 4 to 15): gray, white, yellow at full strength, nothing brighter.
  EXPECT_GT(InkOf(absent, 0x808080, 4, 15).coverage, 0.9);
  EXPECT_LT(InkOf(absent, 0xFFFFFF, 4, 15).coverage, 0.45);
  EXPECT_GT(InkOf(ready, 0xFFFFFF, 4, 15).coverage, 0.9);
  EXPECT_EQ(InkOf(ready, 0xDEC76B, 0, 33).count, 0);
  EXPECT_GT(InkOf(old, 0xDEC76B, 4, 15).coverage, 0.9);
  EXPECT_EQ(InkOf(absent, 0xDEC76B, 0, 33).count, 0);
  // The author line (from row 16) is gray in every state.
  EXPECT_GT(InkOf(ready, 0x808080, 17, 30).coverage, 0.9);
  EXPECT_LT(InkOf(ready, 0xFFFFFF, 17, 30).coverage, 0.45);
  // Without an icon both lines start at x = 4.
  for (const QImage& row : {absent, ready, old}) {
    EXPECT_GE(InkOf(row, 0x808080, 4, 15).first_x, 4);
    EXPECT_LE(InkOf(row, 0x808080, 4, 15).first_x, 6);
    EXPECT_GE(InkOf(row, 0x808080, 17, 30).first_x, 4);
    EXPECT_LE(InkOf(row, 0x808080, 17, 30).first_x, 6);
  }
}

TEST_F(MainWindow, TheSelectedRowIsBoldOnItsOwnBackground) {
  auto main = Open(kLocal);
  QImage plain = Row(*main, 2, false), selected = Row(*main, 2, true);
  EXPECT_EQ(selected.pixel(200, 30) & 0xFFFFFF, 0x303030u);
  // Bold puts more ink on the first line than regular does.
  const int bold_ink = InkOf(selected, 0xDEC76B, 4, 15, 0x303030).count;
  EXPECT_GT(bold_ink, InkOf(plain, 0xDEC76B, 4, 15).count * 6 / 5);
  // "(1.0 installed)" follows in regular gray one blank after the bold text.
  QFont bold = main->List()->font();
  bold.setBold(true);
  const int w = QFontMetrics(bold).horizontalAdvance(QStringLiteral("Old 2.0 "));
  Ink gray = InkOf(selected.copy(4 + w, 4, 283 - 4 - w, 12), 0x808080, 0, 11, 0x303030);
  EXPECT_GT(gray.coverage, 0.9);
  EXPECT_LE(gray.first_x, 2);
  EXPECT_EQ(InkOf(selected.copy(4 + w, 4, 283 - 4 - w, 12), 0xDEC76B, 0, 11, 0x303030).count, 0);
}

TEST_F(MainWindow, AnIconTakesColumnsOneToThirtyTwoAndMovesTheText) {
  auto icons = [](TProgram& entry) {
    if (entry.Section != "Ready") return;
    for (auto* slot : {&entry.IconNormal, &entry.IconSelected}) {
      *slot = std::make_unique<IconBitmap>();
      (*slot)->width = (*slot)->height = 32;
      (*slot)->pixels.assign(32 * 32, slot == &entry.IconNormal ? 0xFF0000FFu : 0xFF00FF00u);
    }
  };
  auto main = Open(kLocal, icons);
  QImage row = Row(*main, 1, false);
  EXPECT_EQ(row.pixel(1, 1) & 0xFFFFFF, 0x0000FFu);
  EXPECT_EQ(row.pixel(32, 32) & 0xFFFFFF, 0x0000FFu);
  EXPECT_EQ(row.pixel(0, 1) & 0xFFFFFF, 0x313532u);
  EXPECT_EQ(row.pixel(33, 1) & 0xFFFFFF, 0x313532u);
  Ink text = InkOf(row.copy(33, 0, 250, 34), 0xFFFFFF, 4, 15);
  EXPECT_GT(text.coverage, 0.9);
  text.first_x += 33;
  EXPECT_GE(text.first_x, 36);
  EXPECT_LE(text.first_x, 38);
  EXPECT_EQ(Row(*main, 1, true).pixel(5, 5) & 0xFFFFFF, 0x00FF00u);  // the selected icon
}

TEST_F(MainWindow, ThePopupMenuFollowsTheSelectedEntry) {
  auto main = Open(kLocal);
  auto enabled = [&main] {
    main->popListPopup();
    return main->Run1()->isEnabled() && main->CreateDesktopShortcut1()->isEnabled() &&
           main->Uninstall1()->isEnabled();
  };
  ASSERT_EQ(main->popList()->actions().size(), 3);
  EXPECT_EQ(main->Run1()->text(), "&Run");
  EXPECT_EQ(main->CreateDesktopShortcut1()->text(), "Create Desktop Shortcut");
  EXPECT_EQ(main->Uninstall1()->text(), "Uninstall");
  EXPECT_FALSE(enabled());  // nothing selected
  main->List()->SetItemIndex(0);
  EXPECT_FALSE(enabled());  // not installed
  EXPECT_FALSE(main->Run1()->isEnabled() || main->CreateDesktopShortcut1()->isEnabled() ||
               main->Uninstall1()->isEnabled());
  main->List()->SetItemIndex(1);
  EXPECT_TRUE(enabled());  // ready
  main->List()->SetItemIndex(2);
  EXPECT_TRUE(enabled());  // outdated counts as installed
}

TEST_F(MainWindow, AnAnnouncedBuildGivesTheUpdateRequiredLookAndRefusesRefresh) {
  test::HttpTestServer server;
  WriteFileBytes(dir_.file("Settings.ini"), "[Server]\nURL=" + server.Url("/rk5h.ini") + "\n");
  run_.UpdateRequired = true;
  run_.UpdateURL = "http://host/rk5helper";
  auto main = Open(kLocal);
  EXPECT_EQ(TextColour(main->btnDl(), QPalette::ButtonText), QColor(0x80, 0x80, 0x80));
  EXPECT_EQ(TextColour(main->btnRefresh(), QPalette::ButtonText), QColor(0x80, 0x80, 0x80));
  EXPECT_FALSE(main->btnUpdate()->isHidden());
  EXPECT_TRUE(main->btnRefresh()->isEnabled());
  EXPECT_EQ(main->httpUpdate().URL, "http://host/rk5helper");
  EXPECT_EQ(main->httpUpdate().FileName, dir_.folder() + "rk5h");
  test::AlertCatcher alerts;
  main->btnRefresh()->click();
  ASSERT_TRUE(test::RunUntil([&] { return !alerts.Texts().isEmpty(); }));
  EXPECT_EQ(alerts.Texts(), QStringList{"You must update Rk5 Helper before downloading new files!"});
  EXPECT_EQ(server.RequestCount(), 0u);
  EXPECT_FALSE(main->httpRefresh().Running());
}

TEST_F(MainWindow, SettingsNameTheCatalogueAndItsFile) {
  auto main = Open(kLocal);
  EXPECT_EQ(main->httpRefresh().URL, "http://www.rk5helper.example/rk5h.ini");
  EXPECT_EQ(main->httpRefresh().FileName, dir_.folder() + "rk5h.ini");
  EXPECT_FALSE(main->httpRefresh().BinaryData);
  EXPECT_TRUE(main->httpUpdate().BinaryData);
  WriteFileBytes(dir_.file("Settings.ini"), "[server]\nurl = http://elsewhere/cat.ini \n");
  auto other = Open("");
  EXPECT_EQ(other->httpRefresh().URL, "http://elsewhere/cat.ini");
}

TEST_F(MainWindow, LongTextsAndControlBytesAreCutAtTheRowsEdge) {
  std::string name(5000, 'W');
  name[10] = '\n';
  name[11] = '\t';
  name[12] = '\x01';
  name[13] = '\r';
  auto main = Open("[T]\nName=" + name + "\nBy=" + std::string(5000, 'B') + "\x07\x1b\n");
  QImage image(283, 60, QImage::Format_RGB32);
  image.fill(Qt::black);
  {
    QPainter painter(&image);
    painter.setFont(main->List()->font());
    painter.setClipRect(QRect(0, 0, 283, 34));  // as the list clips each row
    main->ListDrawItem(painter, 0, QRect(0, 0, 283, 34), true);
  }
  // Both lines run on to the right edge; nothing lands below the row.
  EXPECT_GT(InkOf(image.copy(270, 0, 13, 34), 0x808080, 4, 30, 0x303030).count, 0);
  for (int y = 34; y < 60; ++y) {
    for (int x = 0; x < 283; ++x) ASSERT_EQ(image.pixel(x, y) & 0xFFFFFF, 0u) << x << "," << y;
  }
}

TEST_F(MainWindow, TheKeyboardMovesTheSelectionAsInAListBox) {
  auto main = Open(kLocal);
  main->show();
  main->List()->setFocus();
  main->List()->SetItemIndex(0);
  QKeyEvent down(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
  QApplication::sendEvent(main->List(), &down);
  EXPECT_EQ(main->List()->ItemIndex(), 1);
  QKeyEvent end(QEvent::KeyPress, Qt::Key_End, Qt::NoModifier);
  QApplication::sendEvent(main->List(), &end);
  EXPECT_EQ(main->List()->ItemIndex(), 2);
  QKeyEvent home(QEvent::KeyPress, Qt::Key_Home, Qt::NoModifier);
  QApplication::sendEvent(main->List(), &home);
  EXPECT_EQ(main->List()->ItemIndex(), 0);
  // A right click on another row leaves the selection where it was.
  QPoint third = main->List()->visualItemRect(main->List()->item(2)).center();
  QMouseEvent press(QEvent::MouseButtonPress, third, main->List()->viewport()->mapToGlobal(third),
                    Qt::RightButton, Qt::RightButton, Qt::NoModifier);
  QApplication::sendEvent(main->List()->viewport(), &press);
  EXPECT_EQ(main->List()->ItemIndex(), 0);
}

}  // namespace
}  // namespace rk5
