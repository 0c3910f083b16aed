// Refresh with a publisher's key pinned, through the window, the real fetch and the loopback
// server, against signatures made by the minisign binary: only a genuine, current
// catalogue merges; every forgery leaves both catalogue files byte for byte.
#include <QPushButton>
#include <gtest/gtest.h>

#include <chrono>

#include "catalogue/gui/main_window.h"
#include "support/alert_catcher.h"
#include "support/event_wait.h"
#include "support/http_test_server.h"
#include "support/minisign_keys.h"
#include "support/temp_dir.h"

namespace rk5 {
namespace {

using test::ReadFileBytes;
using test::WriteFileBytes;

const QStringList kNotValid{"The catalogue's signature is not valid!"};

std::string Stamp(long long seconds) { return "timestamp:" + std::to_string(seconds) + "\tfile:rk5h.ini"; }

long long Now() {
  return std::chrono::duration_cast<std::chrono::seconds>(
             std::chrono::system_clock::now().time_since_epoch()).count();
}

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
  return text.replace(text.find(from), from.size(), to);
}

class SignedRefresh : public ::testing::Test {
 protected:
  SignedRefresh()
      : proxy_("http_proxy", server_.ProxyUrl()), no_proxy_("no_proxy", std::nullopt) {}

  void SetUp() override {
    if (!test::HaveMinisign()) GTEST_SKIP() << "minisign is not installed";
    ASSERT_FALSE(keys_.PublicKeyLine().empty());
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

  void Serve(const std::string& catalogue, const std::optional<test::HttpReply>& signature) {
    server_.Route("/rk5h.ini", test::Ok(catalogue));
    server_.Route("/rk5h.ini.minisig", signature.value_or(test::Status(404, "Not Found", "")));
  }

  test::HttpTestServer server_;
  test::EnvOverride proxy_, no_proxy_;
  test::TempDir dir_;
  test::MinisignKeys keys_;
  RunState run_;
  test::AlertCatcher alerts_;
};

TEST_F(SignedRefresh, OnlyAGenuineCurrentCatalogueMerges) {
  const long long month_ago = Now() - 30 * 86400;
  const std::string genuine = "[Tool]\r\nName=Signed\r\nOBuild=3\r\n";
  WriteFileBytes(dir_.file("Local.ini"), "[Mine]\r\nName=mine\r\n");
  Serve(genuine, test::Ok(keys_.Sign(genuine, false, Stamp(month_ago))));
  ASSERT_TRUE(Refresh(keys_.PublicKeyLine()).isEmpty());
  ASSERT_EQ(ReadFileBytes(dir_.file("rk5h.ini")), genuine);
  const std::string local = ReadFileBytes(dir_.file("Local.ini"));
  ASSERT_NE(local.find("Name=Signed"), std::string::npos);

  const std::string forged = Replaced(genuine, "OBuild=3", "OBuild=9");
  const std::string signature = keys_.Sign(genuine, false, Stamp(month_ago));
  const test::MinisignKeys other;
  test::HttpReply endless = test::WithoutLength(signature);
  endless.fault = test::Fault::kEndless;
  const std::string older = "[Tool]\r\nName=Old\r\nOBuild=2\r\n";
  const std::string newer = "[Tool]\r\nName=Newer\r\n";
  struct Forgery {
    const char* what;
    std::string catalogue;
    std::optional<test::HttpReply> signature;
    std::string key;
    std::string settings;
  };
  const std::string key = keys_.PublicKeyLine();
  const Forgery forgeries[] = {
      {"one byte changed", forged, test::Ok(signature), key, ""},
      {"another key's signature", genuine, test::Ok(other.Sign(genuine)), key, ""},
      {"no .minisig", genuine, std::nullopt, key, ""},
      {"signature line not base64", genuine, test::Ok(Replaced(signature, "\nRU", "\n!U")), key, ""},
      {"trusted comment edited", genuine,
       test::Ok(Replaced(signature, "timestamp:", "timestamp:1")), key, ""},
      {"no timestamp", genuine, test::Ok(keys_.Sign(genuine, false, "file:rk5h.ini")), key, ""},
      {"older than the last one", older, test::Ok(keys_.Sign(older, false, Stamp(month_ago - 1))), key, ""},
      {"signed longer ago than MaxAge", newer,
       test::Ok(keys_.Sign(newer, false, Stamp(Now() - 10 * 86400))), key, "MaxAge=5\r\n"},
      {"endless .minisig", genuine, endless, key, ""},
      {"key of the wrong length", genuine, test::Ok(signature), key.substr(4), ""},
      {"key of another algorithm", genuine, test::Ok(signature), "RX" + key.substr(2), ""},
      {"key not base64", genuine, test::Ok(signature), "*" + key.substr(1), ""},
  };
  for (const Forgery& row : forgeries) {
    Serve(row.catalogue, row.signature);
    EXPECT_EQ(Refresh(row.key, row.settings), kNotValid) << row.what;
    EXPECT_EQ(ReadFileBytes(dir_.file("Local.ini")), local) << row.what;
    EXPECT_EQ(ReadFileBytes(dir_.file("rk5h.ini")), genuine) << row.what;
  }

  // A fresh one, signed the legacy way, with a MaxAge that is no number (ignored) merges.
  Serve(newer, test::Ok(keys_.Sign(newer, true)));
  EXPECT_TRUE(Refresh(key, "MaxAge=soon\r\n").isEmpty());
  EXPECT_EQ(ReadFileBytes(dir_.file("rk5h.ini")), newer);
  EXPECT_NE(ReadFileBytes(dir_.file("Local.ini")).find("Name=Newer"), std::string::npos);
}

}  // namespace
}  // namespace rk5
