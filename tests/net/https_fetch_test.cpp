// https from loopback nginx with certificates of a test authority made here: trusted through
// the user's own setting; other authorities, expired or misnamed ones and redirects fail.
#include <QProcess>
#include <QStandardPaths>

#include <map>

#include "fetch_fixture.h"

namespace rk5::test {
namespace {

const char kMakeCertificates[] = R"(set -e; cd "$1"
key() { openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out "$1.key"; }
key ca; openssl req -x509 -key ca.key -out ca.pem -days 2 -subj /CN=rk5-test-authority
for site in good:localhost: other:elsewhere.test: expired:localhost:faketime; do
  IFS=: read -r name host old <<<"$site"; key "$name"
  openssl req -new -key "$name.key" -out "$name.csr" -subj "/CN=$host"
  printf 'subjectAltName=DNS:%s\n' "$host" >"$name.ext"
  ${old:+faketime 2020-01-01} openssl x509 -req -in "$name.csr" -CA ca.pem -CAkey ca.key \
    -CAcreateserial -out "$name.pem" -extfile "$name.ext" -days 30
done 2>/dev/null)";
const QString kNginx = QStringLiteral(RK5_TEST_SOURCE_DIR "/../scripts/loopback_nginx.sh");

class HttpsFetch : public FetchTest {
 protected:
  void SetUp() override {
    for (const char* tool : {"openssl", "faketime", "nginx"}) {
      if (QStandardPaths::findExecutable(tool, {"/usr/bin", "/usr/sbin"}).isEmpty()) GTEST_SKIP() << "no " << tool;
    }
    std::filesystem::create_directories(dir_.file("www"));
    WriteFileBytes(dir_.file("www/rk5h.ini"), "[Tool]\r\nName=over TLS\r\n");
    WriteFileBytes(dir_.file("www/tool.zip"), BinaryBody(5000));
    ASSERT_EQ(QProcess::execute("bash", {"-c", kMakeCertificates, "make", Q("")}), 0);
    for (const std::string site : {"good", "other", "expired"}) {
      QProcess nginx;
      nginx.start("bash", {kNginx, "start", Q("www"), Q(site), Q(site + ".pem"), Q(site + ".key"),
                           Q("location = /to-plain { return 302 " + server_.Url("/plain") + "; }", false)});
      ASSERT_TRUE(nginx.waitForFinished(30000) && nginx.exitCode() == 0) << "nginx did not start";
      ports_[site] = nginx.readAllStandardOutput().trimmed().toStdString();
    }
  }
  ~HttpsFetch() override {
    for (const auto& [site, port] : ports_) QProcess::execute("bash", {kNginx, "stop", Q(site)});
  }
  QString Q(const std::string& name, bool in_dir = true) const {
    return QString::fromStdString(in_dir ? dir_.file(name).string() : name);
  }
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
  EnvOverride https_proxy_{"https_proxy", std::nullopt}, https_upper_{"HTTPS_PROXY", std::nullopt};
};

TEST_F(HttpsFetch, TheAuthorityTheUserAddedIsTrustedAndNothingElse) {
  const std::string good = "https://localhost:" + ports_["good"];
  EXPECT_EQ(Get("HTTPS://localhost:" + ports_["good"] + "/rk5h.ini", false).result, "[Tool]\r\nName=over TLS\r\n");
  EXPECT_EQ(Get(good + "/tool.zip", true).done_file, 1);
  EXPECT_EQ(TargetBytes(), BinaryBody(5000));
  const std::pair<std::string, bool> refused[] = {
      {good + "/rk5h.ini", false},  // an authority nobody added
      {"https://localhost:" + ports_["expired"] + "/rk5h.ini", true},
      {"https://localhost:" + ports_["other"] + "/rk5h.ini", true},  // made for another name
      {good + "/to-plain", true}};
  for (const auto& [url, trusted] : refused) EXPECT_EQ(Get(url, false, trusted).errors, 1) << url;
  EXPECT_EQ(server_.RequestCount(), 0u);  // the redirect to plain http was not followed
}

}  // namespace
}  // namespace rk5::test
