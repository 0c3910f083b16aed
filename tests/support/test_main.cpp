// One main for every test executable: a QApplication on the offscreen platform, so
// window tests render without a display and fetch events find an event loop.
#include <QApplication>
#include <cstdlib>
#include <QtGlobal>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
