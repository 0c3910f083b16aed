// Fetches over https from loopback nginx with certificates of a test authority made here by
// openssl: the user's own authority setting makes them trusted; an unknown authority, an
// expired certificate, one for another name and a redirect to plain http each fail.
#include <QProcess>
#include <QStandardPaths>

#include <map>

#include "fetch_fixture.h"

namespace rk5::test {
namespace {

const char kMakeCertificates[] = R"(set -e
cd "$1"
key() { openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out "$1.key" 2>/dev/null; }
key ca
openssl req -x509 -key ca.key -out ca.pem -days 2 -subj /CN=rk5-test-authority 2>/dev/null
for site in good:localhost:0 other:elsewhere.test:0 expired:localhost:1; do
  IFS=: read -r name host old <<<"$site"
  key "$name"
  openssl req -new -key "$name.key" -out "$name.csr" -subj "/CN=$host" 2>/dev/null
  printf 'subjectAltName=DNS:%s\n' "$host" >"$name.ext"
  sign=(openssl x509 -req -in "$name.csr" -CA ca.pem -CAkey ca.key -CAcreateserial
        -out "$name.pem" -extfile "$name.ext")
  if [ "$old" = 1 ]; then faketime '2020-01-01 00:00:00' "${sign[@]}" -days 30 2>/dev/null
  else "${sign[@]}" -days 2 2>/dev/null; fi
done
)";
const QString kNginxScript = QStringLiteral(RK5_TEST_SOURCE_DIR "/../scripts/loopback_nginx.sh");

class HttpsFetch : public FetchTest {
 protected:
  HttpsFetch() : https_proxy_("https_proxy", std::nullopt), https_upper_("HTTPS_PROXY", std::nullopt) {}

  void SetUp() override {
    for (const char* tool : {"nginx", "openssl", "faketime"}) {
      if (QStandardPaths::findExecutable(tool).isEmpty() &&
          QStandardPaths::findExecutable(tool, {"/usr/sbin"}).isEmpty()) {
        GTEST_SKIP() << tool << " is not installed";
      }
    }
    std::filesystem::create_directories(dir_.file("www"));
    WriteFileBytes(dir_.file("www/rk5h.ini"), "[Tool]\r\nName=over TLS\r\n");
    WriteFileBytes(dir_.file("www/tool.zip"), BinaryBody(5000));
    ASSERT_EQ(QProcess::execute("bash", {"-c", kMakeCertificates, "certificates",
                                         QString::fromStdString(dir_.path().string())}), 0);
    const std::string redirect =
        "location = /to-plain { return 302 " + server_.Url("/plain") + "; }";
    for (const char* site : {"good", "other", "expired"}) ports_[site] = StartNginx(site, redirect);
  }

  ~HttpsFetch() override {
    for (const auto& [site, port] : ports_) {
      QProcess::execute("bash", {kNginxScript, "stop", QString::fromStdString(Scratch(site))});
    }
  }

  std::string Scratch(const std::string& site) const { return dir_.file("nginx-" + site).string(); }

  std::string StartNginx(const std::string& site, const std::string& directives) {
    std::filesystem::create_directories(Scratch(site));
    QProcess nginx;
    const auto file = [&](const std::string& name) { return QString::fromStdString(dir_.file(name).string()); };
    nginx.start("bash", {kNginxScript, "start", file("www"), QString::fromStdString(Scratch(site)),
                         file(site + ".pem"), file(site + ".key"), QString::fromStdString(directives)});
    EXPECT_TRUE(nginx.waitForFinished(30000) && nginx.exitCode() == 0) << "nginx did not start";
    return nginx.readAllStandardOutput().trimmed().toStdString();
  }

  // One fetch of url; trusted: with the test authority as the user's extra authority.
  FetchEvents Get(const std::string& url, bool to_file, bool trusted = true) {
    FetchEvents events;
    THttpFetch& fetch = Make(events, url);
    fetch.BinaryData = to_file;
    if (trusted) fetch.Limits.extra_authority = dir_.file("ca.pem").string();
    to_file ? fetch.FetchToFile() : fetch.FetchToString();
    Finish(fetch);
    return events;
  }

  std::map<std::string, std::string> ports_;
  EnvOverride https_proxy_, https_upper_;
};

TEST_F(HttpsFetch, TheAuthorityTheUserAddedIsTrustedAndNothingElse) {
  const std::string good = "https://localhost:" + ports_["good"];
  FetchEvents catalogue = Get("HTTPS://localhost:" + ports_["good"] + "/rk5h.ini", false);
  EXPECT_EQ(catalogue.done_string, 1);
  EXPECT_EQ(catalogue.result, "[Tool]\r\nName=over TLS\r\n");
  FetchEvents archive = Get(good + "/tool.zip", true);
  EXPECT_EQ(archive.done_file, 1);
  EXPECT_EQ(TargetBytes(), BinaryBody(5000));

  struct Refused {
    const char* what;
    std::string url;
    bool trusted;
  };
  for (const Refused& row : {Refused{"unknown authority", good + "/rk5h.ini", false},
                             Refused{"expired", "https://localhost:" + ports_["expired"] + "/rk5h.ini", true},
                             Refused{"another name", "https://localhost:" + ports_["other"] + "/rk5h.ini", true},
                             Refused{"redirect to http", good + "/to-plain", true}}) {
    FetchEvents events = Get(row.url, false, row.trusted);
    EXPECT_EQ(events.errors, 1) << row.what;
    EXPECT_EQ(events.done_string, 0) << row.what;
  }
  EXPECT_EQ(server_.RequestCount(), 0u);  // the plain server never heard of the redirect
}

}  // namespace
}  // namespace rk5::test
