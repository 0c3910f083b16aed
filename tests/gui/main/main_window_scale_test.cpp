// The real main window on Xvfb at densities 2 and 1.5 (QT_SCALE_FACTOR): that many times its
// size, no text cut by its box; at 2 the band's icon is the 32-pixel picture, not the 16.
// A factor below 1 is dropped: the window is drawn at 1.
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "gui/base/palette.h"
#include "support/event_wait.h"
#include "support/processes.h"
#include "support/temp_dir.h"
#include "support/x_display.h"

namespace rk5::test {
namespace {

namespace fs = std::filesystem;

// Boxes of the design, each holding one text that must not reach its edges.
const QRect kCaption(25, 1, 266, 23), kFirstRow(16, 56, 283, 34), kSecondRow(16, 90, 283, 34),
    kRefresh(16, 238, 57, 21), kDownload(80, 238, 65, 21);

QRect Scaled(const QRect& r, double scale) {
  const auto at = [scale](int v) { return static_cast<int>(std::lround(v * scale)); };
  return QRect(QPoint(at(r.left()), at(r.top())), QPoint(at(r.right() + 1) - 1, at(r.bottom() + 1) - 1));
}

// The bounds of every pixel in box unlike its top-left one (the box's background).
QRect InkIn(const QImage& image, const QRect& box) {
  QRect ink;
  for (int y = box.top(); y <= box.bottom(); ++y)
    for (int x = box.left(); x <= box.right(); ++x)
      if (image.pixel(x, y) != image.pixel(box.topLeft())) ink |= QRect(x, y, 1, 1);
  return ink;
}

class MainWindowScale : public ::testing::TestWithParam<double> {
 protected:
  void TearDown() override {
    EXPECT_TRUE(KillProcessesRunning(exe_.string()));
    run_.waitForFinished();
  }
  // What the window shows, in the screen's pixels.
  QImage PictureOf(const std::string& window) {
    const QString file = QString::fromStdString(dir_.file("picture.png").string());
    QProcess tool;
    tool.setProcessEnvironment(display_.ProgramEnvironment());
    tool.start(RK5_TEST_BINARY_DIR "/tests/tool_window_picture", {QString::fromStdString(window), file});
    tool.waitForFinished(30000);
    return QImage(file).convertToFormat(QImage::Format_RGB32);
  }

  XDisplay display_;
  TempDir dir_;
  fs::path exe_ = fs::canonical(dir_.path()) / "rk5helper";
  QProcess run_;
};

TEST_P(MainWindowScale, EveryPartScalesAndNoTextIsCut) {
  ASSERT_FALSE(display_.Name().empty()) << "needs Xvfb";
  const double asked = GetParam(), scale = std::max(asked, 1.0);
  fs::copy_file(RK5_HELPER_EXE, exe_);
  WriteFileBytes(dir_.file("Local.ini"), "[HexView]\nName=HexView\nBy=Northwind\nOBuild=3\nOVersion=1.3\n"
                                         "[LogTail]\nName=LogTail\nBy=Harbour\nOBuild=4\nOVersion=2.0\n");
  WriteFileBytes(dir_.file("registry.ini"), "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Rk5Helper]\nPath=" +
                                                exe_.parent_path().string() + "/\n");
  QProcessEnvironment env = display_.ProgramEnvironment();
  env.insert("QT_SCALE_FACTOR", QString::number(asked));
  env.insert("RK5HELPER_REGISTRY", QString::fromStdString(dir_.file("registry.ini").string()));
  run_.setProcessEnvironment(env);
  run_.start(QString::fromStdString(exe_.string()), {});
  const std::string window = display_.WaitForWindow(run_.processId(), "Rk5 Helper");
  ASSERT_FALSE(window.empty());
  const XDisplay::Size size = display_.SizeOf(window);
  EXPECT_EQ(size.width, std::lround(311 * scale));
  EXPECT_EQ(size.height, std::lround(329 * scale));

  const QRect boxes[] = {kCaption, kFirstRow, kSecondRow, kRefresh, kDownload};
  QImage picture;  // painted once every box holds its text
  ASSERT_TRUE(RunUntil([&] {
    picture = PictureOf(window);
    if (picture.width() != size.width || picture.height() != size.height) return false;
    for (const QRect& box : boxes)
      if (InkIn(picture, Scaled(box, scale)).isNull()) return false;
    return true;
  }));
  for (const QRect& box : boxes) {
    const QRect rect = Scaled(box, scale), ink = InkIn(picture, rect);
    SCOPED_TRACE(testing::Message() << "box at " << box.x() << "," << box.y());
    EXPECT_TRUE(rect.adjusted(1, 1, -1, -1).contains(ink));  // a cut text reaches an edge
    EXPECT_GT(ink.height(), 7 * scale);                      // a whole line of Verdana 8
  }

  if (scale != 2.0) return;
  QImage expected(32, 32, QImage::Format_RGB32);
  expected.fill(QColor::fromRgb(palette::kTitleBand));
  QPainter(&expected).drawImage(0, 0, QImage(RK5_TEST_SOURCE_DIR "/../src/gui/base/program_icon_32.png"));
  int differing = 0;
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 32; ++x) {
      const QColor want = expected.pixelColor(x, y), got = picture.pixelColor(12 + x, 12 + y);
      differing += std::abs(want.red() - got.red()) + std::abs(want.green() - got.green()) +
                       std::abs(want.blue() - got.blue()) > 6;
    }
  EXPECT_EQ(differing, 0) << "pixels of the band's icon unlike the 32-pixel picture";
}

INSTANTIATE_TEST_SUITE_P(Densities, MainWindowScale, ::testing::Values(2.0, 1.5, 0.5));

}  // namespace
}  // namespace rk5::test
