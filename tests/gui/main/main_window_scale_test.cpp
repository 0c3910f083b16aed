// The main window of the real program on a private X display at a screen density of 2
// and 1.5 (QT_SCALE_FACTOR): the window is that many times its design's size, and the
// caption, the list's texts and the buttons' captions lie inside their boxes, cut by
// none; at twice the density the band's icon is the 32-pixel picture, not the 16 blown up.
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <gtest/gtest.h>

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

// Boxes of the design, in its pixels: each holds one text that must not touch its edges.
struct Box {
  const char* what;
  QRect rect;
};
const Box kBoxes[] = {
    {"caption", QRect(25, 1, 266, 23)},  // the band right of the icon, left of the close button
    {"first row", QRect(16, 56, 283, 34)},
    {"second row", QRect(16, 90, 283, 34)},
    {"Refresh", QRect(16, 238, 57, 21)},
    {"Download", QRect(80, 238, 65, 21)},
};

QRect Scaled(const QRect& r, double scale) {
  const auto at = [scale](int v) { return static_cast<int>(std::lround(v * scale)); };
  return QRect(QPoint(at(r.left()), at(r.top())), QPoint(at(r.right() + 1) - 1, at(r.bottom() + 1) - 1));
}

// The smallest rectangle holding every pixel of box that differs from the box's
// top-left pixel (its background); null when there is none.
QRect InkIn(const QImage& image, const QRect& box) {
  const QRgb background = image.pixel(box.topLeft());
  QRect ink;
  for (int y = box.top(); y <= box.bottom(); ++y) {
    for (int x = box.left(); x <= box.right(); ++x) {
      if (image.pixel(x, y) != background) ink |= QRect(x, y, 1, 1);
    }
  }
  return ink;
}

class MainWindowScale : public ::testing::TestWithParam<double> {
 protected:
  void SetUp() override {
    ASSERT_FALSE(display_.Name().empty()) << "needs Xvfb";
    const fs::path program = fs::canonical(dir_.path()) / "prog";
    fs::create_directories(program);
    exe_ = program / "rk5helper";
    fs::copy_file(RK5_HELPER_EXE, exe_);
    WriteFileBytes(program / "Local.ini",
                   "[HexView]\nName=HexView\nBy=Northwind Tools\nOBuild=3\nOVersion=1.3\n"
                   "[LogTail]\nName=LogTail\nBy=Harbour Utilities\nOBuild=4\nOVersion=2.0\n");
    WriteFileBytes(dir_.file("registry.ini"),
                   "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Rk5Helper]\nPath=" + program.string() + "/\n");
    fs::create_directories(dir_.file("run"));
    fs::permissions(dir_.file("run"), fs::perms::owner_all);
  }
  void TearDown() override {
    EXPECT_TRUE(KillProcessesRunning(exe_.string()));
    run_.waitForFinished();
  }

  // What the window shows, in the screen's pixels.
  QImage PictureOf(const std::string& window) {
    const QString file = QString::fromStdString(dir_.file("picture.png").string());
    QProcess tool;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", QString::fromStdString(display_.Name()));
    env.remove("QT_SCALE_FACTOR");
    tool.setProcessEnvironment(env);
    tool.start(QString::fromStdString(std::string(RK5_TEST_BINARY_DIR) + "/tests/tool_window_picture"),
               {QString::fromStdString(window), file});
    tool.waitForFinished(30000);
    return QImage(file).convertToFormat(QImage::Format_RGB32);
  }

  XDisplay display_;
  TempDir dir_;
  fs::path exe_;
  QProcess run_;
};

TEST_P(MainWindowScale, EveryPartScalesAndNoTextIsCut) {
  const double scale = GetParam();
  QProcess& run = run_;
  QProcessEnvironment env = display_.ProgramEnvironment();
  env.insert("QT_SCALE_FACTOR", QString::number(scale));
  env.insert("RK5HELPER_REGISTRY", QString::fromStdString(dir_.file("registry.ini").string()));
  env.insert("XDG_RUNTIME_DIR", QString::fromStdString(dir_.file("run").string()));
  run.setProcessEnvironment(env);
  run.setProcessChannelMode(QProcess::ForwardedChannels);
  run.start(QString::fromStdString(exe_.string()), {});
  ASSERT_TRUE(run.waitForStarted(10000));
  const std::string window = display_.WaitForWindow(run.processId(), "Rk5 Helper");
  ASSERT_FALSE(window.empty());

  const XDisplay::Size size = display_.SizeOf(window);
  EXPECT_EQ(size.width, std::lround(311 * scale));
  EXPECT_EQ(size.height, std::lround(329 * scale));

  // Painted once every box holds its text.
  QImage picture;
  ASSERT_TRUE(RunUntil([&] {
    picture = PictureOf(window);
    if (picture.width() != size.width || picture.height() != size.height) return false;
    for (const Box& box : kBoxes) {
      if (InkIn(picture, Scaled(box.rect, scale)).isNull()) return false;
    }
    return true;
  })) << "the window never showed every text";
  for (const Box& box : kBoxes) {
    SCOPED_TRACE(box.what);
    const QRect rect = Scaled(box.rect, scale);
    const QRect ink = InkIn(picture, rect);
    // A cut text runs up to its box's edge.
    EXPECT_TRUE(rect.adjusted(1, 1, -1, -1).contains(ink)) << "ink " << ink.x() << "," << ink.y()
                                                          << " " << ink.width() << "x" << ink.height();
    EXPECT_GT(ink.height(), 7 * scale) << "a line of Verdana 8 at this density";
  }

  if (scale == 2.0) {
    // The band's icon is the 32-pixel picture over the band, pixel for pixel.
    QImage icon(QStringLiteral(RK5_TEST_SOURCE_DIR "/../src/gui/base/program_icon_32.png"));
    ASSERT_EQ(icon.size(), QSize(32, 32));
    QImage expected(32, 32, QImage::Format_RGB32);
    expected.fill(QColor::fromRgb(palette::kTitleBand));
    {
      QPainter painter(&expected);
      painter.drawImage(0, 0, icon);
    }
    int differing = 0;
    for (int y = 0; y < 32; ++y) {
      for (int x = 0; x < 32; ++x) {
        const QColor want = expected.pixelColor(x, y);
        const QColor got = picture.pixelColor(12 + x, 12 + y);
        if (std::abs(want.red() - got.red()) > 2 || std::abs(want.green() - got.green()) > 2 ||
            std::abs(want.blue() - got.blue()) > 2)
          ++differing;
      }
    }
    EXPECT_EQ(differing, 0);
  }
}

INSTANTIATE_TEST_SUITE_P(Densities, MainWindowScale, ::testing::Values(2.0, 1.5));

}  // namespace
}  // namespace rk5::test
