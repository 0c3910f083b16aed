// Refresh with a publisher's key pinned, against signatures of the minisign binary served by
// the loopback server: every forgery leaves both catalogue files byte for byte.
#include <QPushButton>
#include <gtest/gtest.h>

#include <chrono>
#include <tuple>

#include "gui/main/main_window.h"
#include "support/alert_catcher.h"
#include "support/event_wait.h"
#include "support/http_test_server.h"
#include "support/minisign_keys.h"

namespace rk5 {
namespace {

using test::ReadFileBytes;
using test::WriteFileBytes;

const long long kNow = std::chrono::duration_cast<std::chrono::seconds>(
                           std::chrono::system_clock::now().time_since_epoch()).count();

std::string Stamp(long long seconds) { return "timestamp:" + std::to_string(seconds) + "\tfile:rk5h.ini"; }

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
  return text.replace(text.find(from), from.size(), to);
}

class SignedRefresh : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!test::HaveMinisign()) GTEST_SKIP() << "minisign is not installed";
    run_.ProgramFolder = dir_.folder();
  }

  // One refresh in a window made anew, so that it reads these settings; the messages shown.
  QStringList Refresh(const std::string& key, const std::string& more_settings = "") {
    WriteFileBytes(dir_.file("Settings.ini"), "[Server]\r\nURL=http://catalogue.test/rk5h.ini\r\nPublicKey=" +
                                                  key + "\r\n" + more_settings);
    alerts_.Clear();
    TMain main(run_);
    main.btnRefresh()->click();
    EXPECT_TRUE(test::RunUntil([&] { return main.btnRefresh()->isEnabled(); }));
    return alerts_.Texts();
  }

  void Serve(const std::string& catalogue, const test::HttpReply& signature) {
    server_.Route("/rk5h.ini", test::Ok(catalogue));
    server_.Route("/rk5h.ini.minisig", signature);
  }
  test::HttpTestServer server_;
  test::EnvOverride proxy_{"http_proxy", server_.ProxyUrl()}, no_proxy_{"no_proxy", std::nullopt};
  test::TempDir dir_;
  test::MinisignKeys keys_;
  RunState run_;
  test::AlertCatcher alerts_;
};

TEST_F(SignedRefresh, OnlyAGenuineCurrentCatalogueMerges) {
  const long long month_ago = kNow - 30 * 86400;
  const std::string genuine = "[Tool]\r\nName=Signed\r\nOBuild=3\r\n";
  WriteFileBytes(dir_.file("Local.ini"), "[Mine]\r\nName=mine\r\n");
  Serve(genuine, test::Ok(keys_.Sign(genuine, false, Stamp(month_ago))));
  ASSERT_TRUE(Refresh(keys_.PublicKeyLine()).isEmpty());
  const std::string local = ReadFileBytes(dir_.file("Local.ini"));
  ASSERT_NE(local.find("Name=Signed"), std::string::npos);
  const std::string signature = keys_.Sign(genuine, false, Stamp(month_ago));
  const std::string older = "[Tool]\r\nName=Old\r\nOBuild=2\r\n", newer = "[Tool]\r\nName=Newer\r\n";
  test::HttpReply endless = test::WithoutLength(signature);
  endless.fault = test::Fault::kEndless;
  const std::string key = keys_.PublicKeyLine();
  // What is wrong, the catalogue and signature served, the key pinned, more settings.
  const std::tuple<const char*, std::string, test::HttpReply, std::string, std::string> forgeries[] = {
      {"one byte changed", Replaced(genuine, "=3", "=9"), test::Ok(signature), key, ""},
      {"another key's signature", genuine, test::Ok(test::MinisignKeys().Sign(genuine)), key, ""},
      {"no .minisig", genuine, test::Status(404, "Not Found", ""), key, ""},
      {"signature line not base64", genuine, test::Ok(Replaced(signature, "\nRU", "\n!U")), key, ""},
      {"trusted comment edited", genuine, test::Ok(Replaced(signature, "stamp:", "stamp:1")), key, ""},
      {"no timestamp", genuine, test::Ok(keys_.Sign(genuine, false, "file:rk5h.ini")), key, ""},
      {"older than the last one", older, test::Ok(keys_.Sign(older, false, Stamp(month_ago - 1))), key, ""},
      {"older than MaxAge", newer, test::Ok(keys_.Sign(newer, false, Stamp(kNow - 864000))), key, "MaxAge=5"},
      {"endless .minisig", genuine, endless, key, ""},
      {"key of the wrong length", genuine, test::Ok(signature), key.substr(4), ""},
      {"key of another algorithm", genuine, test::Ok(signature), "RX" + key.substr(2), ""},
      {"key not base64", genuine, test::Ok(signature), "*" + key.substr(1), ""},
  };
  for (const auto& [what, catalogue, signature_served, pinned, settings] : forgeries) {
    Serve(catalogue, signature_served);
    EXPECT_EQ(Refresh(pinned, settings), QStringList{"The catalogue's signature is not valid!"}) << what;
    EXPECT_EQ(ReadFileBytes(dir_.file("Local.ini")), local) << what;
    EXPECT_EQ(ReadFileBytes(dir_.file("rk5h.ini")), genuine) << what;
  }

  // A fresh one, signed the legacy way, with a MaxAge that is no number (ignored) merges.
  Serve(newer, test::Ok(keys_.Sign(newer, true)));
  EXPECT_TRUE(Refresh(key, "MaxAge=soon").isEmpty());
  EXPECT_EQ(ReadFileBytes(dir_.file("rk5h.ini")), newer);
  EXPECT_NE(ReadFileBytes(dir_.file("Local.ini")).find("Name=Newer"), std::string::npos);
}

}  // namespace
}  // namespace rk5
