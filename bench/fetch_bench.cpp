// Fetches one URL into a file with THttpFetch and prints the throughput of each run.
//   fetch_bench <url> <target-file> plain|gauge|idle [runs]
// plain: no progress handler. gauge: a handler that drives a TGauge in a shown window, as
// the download window does (MaxValue := TotalSize, then Progress := Readed). idle: builds
// the same window and ends, for the process's size without a fetch. bench/fetch_bench.sh
// runs it against a loopback nginx beside the curl tool and records peak memory.
#include <QApplication>
#include <QEventLoop>
#include <QWidget>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "net/http_fetch.h"
#include "gui/gauge/gauge.h"

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: %s <url> <target-file> plain|gauge|idle [runs]\n", argv[0]);
    return 2;
  }
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const std::string mode = argv[3];
  const int runs = argc > 4 ? std::atoi(argv[4]) : 1;

  QWidget window;
  window.resize(297, 110);
  auto* gauge = new rk5::TGauge(&window);
  gauge->setGeometry(16, 52, 265, 25);
  gauge->SetBackColor(QColor(0x3F, 0x43, 0x40));
  gauge->SetForeColor(QColor(0x27, 0x29, 0x28));
  window.show();
  QCoreApplication::processEvents();
  if (mode == "idle") return 0;

  for (int run = 1; run <= runs; ++run) {
    rk5::THttpFetch fetch;
    fetch.URL = argv[1];
    fetch.FileName = argv[2];
    fetch.BinaryData = true;
    long reports = 0;
    if (mode == "gauge") {
      gauge->SetProgress(0);
      fetch.OnProgress = [&](QObject*, std::int32_t total, std::int32_t readed) {
        ++reports;
        gauge->SetMaxValue(total);
        gauge->SetProgress(readed);
        gauge->setVisible(true);
      };
    }
    QEventLoop loop;
    bool ok = false;
    std::int32_t size = 0;
    fetch.OnDoneFile = [&](rk5::THttpFetch*, const std::string&, std::int32_t file_size) {
      ok = true;
      size = file_size;
      loop.quit();
    };
    fetch.OnError = [&](rk5::THttpFetch*) { loop.quit(); };
    const auto start = std::chrono::steady_clock::now();
    fetch.FetchToFile();
    loop.exec();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!ok) {
      std::fprintf(stderr, "fetch failed\n");
      return 1;
    }
    std::printf("mode=%s run=%d bytes=%d seconds=%.3f MBps=%.1f reports=%ld\n", mode.c_str(), run, size,
                seconds, size / seconds / 1e6, reports);
    std::fflush(stdout);
  }
  return 0;
}
