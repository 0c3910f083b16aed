// The catalogue signature check: a 5,000-tool catalogue (about 824 KiB) signed by minisign,
// its verification timed alone (median of many runs), and a refresh through the window
// and the loopback server end to end with and without a key, interleaved in one run.
//   signature_bench [verify runs] [refresh runs]
#include <QApplication>
#include <QPushButton>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "gui/main/main_window.h"
#include "catalogue/minisign.h"
#include "support/alert_catcher.h"
#include "support/event_wait.h"
#include "support/http_test_server.h"
#include "support/minisign_keys.h"
#include "support/temp_dir.h"

namespace {

using Clock = std::chrono::steady_clock;

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

double Millis(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

std::string Catalogue() {
  std::string out;
  for (int i = 0; i < 5000; ++i) {
    const std::string n = std::to_string(10000 + i);
    // 169 bytes a tool.
    out += "[Tool" + n + "]\r\nName=Tool " + n + "\r\nBy=Publish\r\nDL=http://x.test/d/" + n +
           ".zip\r\nOBuild=3\r\nOVersion=1.0\r\nSHA256=" + std::string(64, 'a') + "\r\n";
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const int verify_runs = argc > 1 ? std::atoi(argv[1]) : 200;
  const int refresh_runs = argc > 2 ? std::atoi(argv[2]) : 15;
  if (!rk5::test::HaveMinisign()) {
    std::fprintf(stderr, "minisign is not installed\n");
    return 2;
  }
  const rk5::test::MinisignKeys keys;
  const std::string catalogue = Catalogue();
  const std::string signature = keys.Sign(catalogue);
  const auto key = rk5::ParseMinisignKey(keys.PublicKeyLine());

  std::vector<double> verify;
  for (int i = 0; i < verify_runs; ++i) {
    const auto start = Clock::now();
    const bool ok = key && rk5::VerifyMinisign(*key, catalogue, signature).has_value();
    verify.push_back(Millis(Clock::now() - start));
    if (!ok) return 1;
  }
  std::printf("catalogue: %zu bytes, %d tools\n", catalogue.size(), 5000);
  std::printf("verify: median %.3f ms, min %.3f ms over %d runs\n", Median(verify),
              *std::min_element(verify.begin(), verify.end()), verify_runs);

  rk5::test::HttpTestServer server;
  rk5::test::EnvOverride proxy("http_proxy", server.ProxyUrl()), no_proxy("no_proxy", std::nullopt);
  server.Route("/rk5h.ini", rk5::test::Ok(catalogue));
  server.Route("/rk5h.ini.minisig", rk5::test::Ok(signature));
  rk5::test::AlertCatcher alerts;
  std::vector<double> unsigned_ms, signed_ms;
  for (int i = 0; i < refresh_runs; ++i) {
    for (const bool with_key : {false, true}) {
      rk5::test::TempDir dir;
      rk5::test::WriteFileBytes(dir.file("Settings.ini"),
                                "[Server]\nURL=http://x.test/rk5h.ini\nPublicKey=" +
                                    (with_key ? keys.PublicKeyLine() : std::string()) + "\n");
      rk5::RunState run;
      run.ProgramFolder = dir.folder();
      rk5::TMain main(run);
      const auto start = Clock::now();
      main.btnRefresh()->click();
      if (!rk5::test::RunUntil([&] { return main.btnRefresh()->isEnabled(); },
                               std::chrono::seconds(60))) {
        return 1;
      }
      (with_key ? signed_ms : unsigned_ms).push_back(Millis(Clock::now() - start));
    }
  }
  if (!alerts.Texts().isEmpty()) return 1;
  std::printf("refresh without key: median %.1f ms; with key: median %.1f ms (%d runs each)\n",
              Median(unsigned_ms), Median(signed_ms), refresh_runs);
  return 0;
}
