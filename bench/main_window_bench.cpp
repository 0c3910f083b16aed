// The main window with a large "Local.ini": the time from creating the window to its first
// paint with 2,000 tools of which 500 are installed with icons (PE programs with an icon
// group), and the refresh of a 5,000-tool catalogue end to end (fetch from the loopback
// server, merge, reload), on the offscreen platform.
//   build/bench/main_window_bench [rounds]
#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QPushButton>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "selfinstall/run_state.h"
#include "gui/main/main_window.h"
#include "gui/main/program_list.h"
#include "gui/main/icon_bitmaps.h"
#include "platform/icon_extraction.h"
#include "support/http_test_server.h"
#include "support/pe_builder.h"
#include "support/temp_dir.h"

namespace {

struct PaintWatch : QObject {
  bool painted = false;
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) painted = true;
    return false;
  }
};

void RunUntil(const std::function<bool()>& done) {
  while (!done()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const int rounds = argc > 1 ? std::atoi(argv[1]) : 5;
  rk5::test::TempDir dir;
  rk5::RunState run;
  run.ProgramFolder = dir.folder();

  // 2,000 tools; every fourth is installed, with a program file carrying a four-image icon.
  rk5::test::PeSpec program_layout;
  rk5::test::IconGroupSpec group;
  for (int size : {16, 32, 48, 64}) {
    group.images.push_back({size, size, 32,
                            rk5::test::DibIcon(size, size, rk5::test::Solid(size, size, 0xFF3366CC), 32)});
  }
  program_layout.groups.push_back(group);
  const std::string program = rk5::test::BuildPe(program_layout).bytes;
  std::string local;
  for (int i = 0; i < 2000; ++i) {
    std::string n = std::to_string(i);
    local += "[Tool" + n + "]\r\nName=Tool " + n + "\r\nBy=Publisher\r\nOBuild=3\r\nOVersion=1.3\r\n";
    if (i % 4 == 0) {
      std::filesystem::create_directories(dir.path() / ("Tool" + n));
      rk5::test::WriteFileBytes(dir.path() / ("Tool" + n) / "tool.exe", program);
      local += "Build=3\r\nVersion=1.3\r\nInstalled=1\r\nExeName=tool.exe\r\nPath=" + dir.folder() +
               "Tool" + n + "/\r\n";
    }
  }
  rk5::test::WriteFileBytes(dir.file("Local.ini"), local);
  auto icons = rk5::platform::MakeIconExtraction();

  std::vector<double> first_paint;
  for (int r = 0; r < rounds; ++r) {
    QElapsedTimer clock;
    clock.start();
    rk5::TMain main(run, rk5::MakeIconBuilder(*icons));
    PaintWatch watch;
    main.List()->viewport()->installEventFilter(&watch);
    main.show();
    RunUntil([&] { return watch.painted; });
    first_paint.push_back(clock.nsecsElapsed() / 1e6);
  }

  // Refresh: a catalogue of 5,000 tools x 8 keys, the first 2,000 of them already known.
  std::string catalogue;
  for (int i = 0; i < 5000; ++i) {
    std::string n = std::to_string(i);
    catalogue += "[Tool" + n + "]\r\nName=Tool " + n + "\r\nBy=Publisher " + n +
                 "\r\nReadMe=http://tools.example/" + n + ".txt\r\nDL=http://tools.example/" + n +
                 ".zip\r\nOBuild=4\r\nOVersion=1.4\r\nOExeName=tool.exe\r\nHome=x\r\n";
  }
  catalogue += "[Rk5Helper]\r\nBuild=2\r\n";
  rk5::test::HttpTestServer server;
  server.Route("/rk5h.ini", rk5::test::Ok(catalogue));
  qputenv("http_proxy", QByteArray::fromStdString(server.ProxyUrl()));
  qunsetenv("no_proxy");
  rk5::test::WriteFileBytes(dir.file("Settings.ini"), "[Server]\r\nURL=http://cat.test/rk5h.ini\r\n");
  std::vector<double> refresh;
  for (int r = 0; r < rounds; ++r) {
    rk5::test::WriteFileBytes(dir.file("Local.ini"), local);
    rk5::TMain main(run, rk5::MakeIconBuilder(*icons));
    main.show();
    QElapsedTimer clock;
    clock.start();
    main.btnRefresh()->click();
    RunUntil([&] { return main.btnRefresh()->isEnabled(); });
    refresh.push_back(clock.nsecsElapsed() / 1e6);
    if (main.List()->count() != 5000) return 1;
  }
  std::printf("first paint, 2,000 tools (500 with icons): median %.1f ms, best %.1f ms\n",
              Median(first_paint), *std::min_element(first_paint.begin(), first_paint.end()));
  std::printf("refresh of 5,000 tools (fetch %zu KiB, merge, reload): median %.1f ms, best %.1f ms\n",
              catalogue.size() / 1024, Median(refresh), *std::min_element(refresh.begin(), refresh.end()));
  return 0;
}
