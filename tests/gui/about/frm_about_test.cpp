// The About window: its credit columns, its picture and its two links (its modal showing
// through the main window is tested with the window factory).
#include "gui/about/frm_about.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QWindow>
#include <QtTest/QTest>
#include <functional>
#include <string>
#include <vector>

#include "support/qt_printers.h"
#include "gui/base/form_test_support.h"
#include "gui/base/program_icon.h"
#include "gui/base/palette.h"

namespace rk5 {
namespace {

using test::At;
using test::Render;

class RecordingStart : public platform::ProgramStart {
 public:
  struct Call {
    std::string file, parameters, folder;
    int show_command;
    bool operator==(const Call&) const = default;
  };
  std::vector<Call> calls;

  bool Start(const std::string& file, const std::string& parameters, const std::string& folder,
             int show_command) override {
    calls.push_back({file, parameters, folder, show_command});
    return false;  // nobody looks
  }
};

// The columns of a label's area that hold text (pixels unlike the window's background).
std::pair<int, int> InkColumns(const QImage& image, const QRect& area) {
  int first = -1;
  int last = -1;
  for (int x = area.left(); x <= area.right(); ++x) {
    for (int y = area.top(); y <= area.bottom(); ++y) {
      if (At(image, x, y) != palette::kWindowBackground) {
        if (first < 0) first = x;
        last = x;
        break;
      }
    }
  }
  return {first, last};
}

void Click(QWidget& window, QWidget* control) {
  QTest::mouseClick(window.windowHandle(), Qt::LeftButton, {}, control->geometry().center());
}

TEST(About, CreditsStandInTwoColumnsBesideThePicture) {
  RecordingStart start;
  TfrmAbout about(start);
  EXPECT_EQ(about.size(), QSize(315, 150));
  EXPECT_EQ(about.windowTitle(), QStringLiteral("About Rk5 Helper"));
  EXPECT_DOUBLE_EQ(about.windowOpacity(), 238 / 255.0);
  const QImage image = Render(about);
  for (int number = 1; number <= 9; ++number) {
    const QLabel* label = about.Label(number);
    ASSERT_NE(label, nullptr) << number;
    // Every text fits its label and clears the OK button.
    EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), label->width()) << number;
    EXPECT_FALSE(label->geometry().intersects(about.btnDl()->geometry())) << number;
  }
  for (int number : {4, 6, 8}) {  // names: their text ends at x = 80
    const QRect area = about.Label(number)->geometry();
    EXPECT_EQ(area.right() + 1, 80) << number;
    const auto [first, last] = InkColumns(image, area);
    EXPECT_GE(last, 76) << number;
    EXPECT_LE(last, 79) << number;
  }
  for (int number : {5, 7, 9}) {  // credits: their text starts at x = 88
    const QRect area = about.Label(number)->geometry();
    EXPECT_EQ(area.left(), 88) << number;
    const auto [first, last] = InkColumns(image, area);
    EXPECT_GE(first, 88) << number;
    EXPECT_LE(first, 90) << number;
  }
  EXPECT_EQ(about.Label(4)->text(), QStringLiteral("THttpFetch"));
  EXPECT_EQ(about.Label(6)->text(), QStringLiteral("libzip"));
  EXPECT_EQ(about.Label(8)->text(), QStringLiteral("ShellLinks"));
  // The program's icon at 32 x 32, exactly as drawn.
  EXPECT_EQ(about.Image1()->geometry(), QRect(16, 32, 32, 32));
  const QImage icon = ProgramIcon().pixmap(32, 32).toImage().convertToFormat(QImage::Format_RGB32);
  ASSERT_EQ(icon.size(), QSize(32, 32));
  EXPECT_EQ(image.copy(16, 32, 32, 32), icon);
}

TEST(About, TheLinkedCreditsOpenTheirAddresses) {
  RecordingStart start;
  TfrmAbout about(start);
  about.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&about));
  Click(about, about.Label(5));
  Click(about, about.Label(7));  // the other credits do nothing
  Click(about, about.Label(2));
  Click(about, about.Label(9));
  // A press that ends outside the label is no click.
  QTest::mousePress(about.windowHandle(), Qt::LeftButton, {}, about.Label(5)->geometry().center());
  QTest::mouseRelease(about.windowHandle(), Qt::LeftButton, {}, QPoint(200, 60));
  EXPECT_EQ(start.calls,
            (std::vector<RecordingStart::Call>{{"http://www.corvane.example/", "", "", 0},
                                               {"mailto:links@rk5helper.example", "", "", 0}}));
  EXPECT_FALSE(about.Dragging());
}

TEST(About, ProgramIconPicturesForEverySize) {
  const QIcon icon = ProgramIcon();
  for (int size : kProgramIconSizes) {
    EXPECT_EQ(icon.pixmap(size, size).size(), QSize(size, size)) << size;
  }
  const std::string png = ProgramIconPng();
  const QImage big = QImage::fromData(reinterpret_cast<const uchar*>(png.data()),
                                      static_cast<int>(png.size()), "PNG");
  EXPECT_EQ(big.size(), QSize(64, 64));
}

}  // namespace
}  // namespace rk5
