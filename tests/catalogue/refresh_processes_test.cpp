// Copies of the program and other users sharing its folder, as real processes: the
// catalogue window (tool_refresh) and the executable itself, against the loopback server.
#include <sys/stat.h>
#include <unistd.h>

#include <QProcess>
#include <QProcessEnvironment>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "support/http_test_server.h"
#include "support/temp_dir.h"

namespace rk5 {
namespace {

namespace fs = std::filesystem;
using test::ReadFileBytes;
using test::WriteFileBytes;

const QString kRefreshTool = QStringLiteral(RK5_TEST_BINARY_DIR "/tests/tool_refresh");

struct Outcome {
  int exit_code = -1;
  std::string out;
  std::vector<std::string> alerts;
};

class RefreshProcesses : public ::testing::Test {
 protected:
  RefreshProcesses() {
    program_ = dir_.path() / "Rk5" / "Helper";
    fs::create_directories(program_);
    WriteFileBytes(program_ / "Settings.ini", "[Server]\r\nURL=http://catalogue.test/rk5h.ini\r\n");
  }

  std::string Folder() const { return program_.string() + "/"; }
  fs::path File(const char* name) const { return program_ / name; }

  QProcessEnvironment Environment() const {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("http_proxy", QString::fromStdString(server_.ProxyUrl()));
    env.remove("no_proxy");
    env.remove("NO_PROXY");
    env.insert("RK5HELPER_REGISTRY", QString::fromStdString(dir_.file("registry.ini").string()));
    return env;
  }

  // The catalogue window in a process of its own; `as_nobody` runs it as another user.
  std::unique_ptr<QProcess> StartRefreshing(int rounds, bool as_nobody = false) const {
    auto process = std::make_unique<QProcess>();
    process->setProcessEnvironment(Environment());
    QStringList args = {QString::fromStdString(Folder()), QString::number(rounds)};
    if (as_nobody) {
      process->start("setpriv", QStringList{"--reuid=65534", "--regid=65534", "--clear-groups", kRefreshTool} + args);
    } else {
      process->start(kRefreshTool, args);
    }
    return process;
  }

  static Outcome Finish(QProcess& process) {
    Outcome run;
    EXPECT_TRUE(process.waitForFinished(120000)) << "the window never finished its refreshes";
    run.exit_code = process.exitCode();
    run.out = process.readAllStandardOutput().toStdString();
    for (std::size_t at = 0; (at = run.out.find("alert: ", at)) != std::string::npos;) {
      const std::size_t end = run.out.find('\n', at);
      run.alerts.push_back(run.out.substr(at + 7, end - at - 7));
      at = end;
    }
    return run;
  }

  Outcome Refresh(int rounds, bool as_nobody = false) const { return Finish(*StartRefreshing(rounds, as_nobody)); }

  test::HttpTestServer server_;
  test::TempDir dir_;
  fs::path program_;
};

// Catalogue c of several: the same tools with values of its own, and a tool of its own.
std::string Catalogue(int c) {
  std::string out;
  const std::string n = std::to_string(c);
  for (int i = 0; i < 300; ++i) {
    const std::string t = std::to_string(i);
    out += "[T" + t + "]\r\nName=Tool " + t + " of " + n + "\r\nBy=Publisher " + n + "\r\nDL=http://x/" +
           n + "/" + t + ".zip\r\nOBuild=" + std::to_string(c * 1000 + i) + "\r\nOVersion=1." + n + "\r\n";
  }
  return out + "[Only" + n + "]\r\nName=only " + n + "\r\n[Rk5Helper]\r\nBuild=2\r\nURL=http://x/" + n + "\r\n";
}

TEST_F(RefreshProcesses, CopiesRefreshingAtOnceNeverCorruptTheLocalRecord) {
  constexpr int kCatalogues = 4, kCopies = 4, kRounds = 8;
  std::vector<std::string> catalogues;
  for (int c = 0; c < kCatalogues; ++c) catalogues.push_back(Catalogue(c));
  // Every value some catalogue (or the local record itself) held, by section and key.
  std::map<std::string, std::set<std::string>> held;
  const std::regex header(R"(\[([A-Za-z0-9]+)\])"), key_line(R"(([A-Za-z]+)=([^\r\n\x00]*))");
  const std::string local = "[Mine]\r\nName=mine\r\nInstalled=1\r\n[T7]\r\nBuild=3\r\nInstalled=1\r\n";
  std::vector<std::string> sources = catalogues;
  sources.push_back(local);
  for (const std::string& bytes : sources) {
    std::string section;
    std::smatch m;
    for (std::size_t at = 0; at < bytes.size();) {
      const std::size_t end = bytes.find("\r\n", at);
      const std::string line = bytes.substr(at, end - at);
      if (std::regex_match(line, m, header)) section = m[1];
      if (std::regex_match(line, m, key_line)) held[section + "/" + m[1].str()].insert(m[2]);
      at = end + 2;
    }
  }
  // Each catalogue's last bytes come slowly, so that fetches and merges of the copies
  // overlap: a copy that read another's half-written catalogue would merge its cut values.
  int served = 0;
  server_.Route("/rk5h.ini", [&](const test::RecordedRequest&) {
    test::HttpReply reply = test::Ok(catalogues[served++ % kCatalogues]);
    reply.fault = test::Fault::kDripAt;
    reply.fault_at = reply.body.size() - 60;
    reply.drip_every = std::chrono::milliseconds(2);
    return reply;
  });
  WriteFileBytes(File("Local.ini"), local);

  std::vector<std::unique_ptr<QProcess>> copies;
  for (int i = 0; i < kCopies; ++i) copies.push_back(StartRefreshing(kRounds));
  for (auto& copy : copies) {
    const Outcome run = Finish(*copy);
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_TRUE(run.alerts.empty()) << run.alerts.front();
  }
  EXPECT_EQ(server_.RequestCount(), static_cast<std::size_t>(kCopies * kRounds));

  // Every line parses, every section is there once, every key holds a value some
  // catalogue held; the fetched catalogue is one of them, whole.
  const std::string merged = ReadFileBytes(File("Local.ini"));
  ASSERT_GE(merged.size(), 2u);
  ASSERT_EQ(merged.substr(merged.size() - 2), "\r\n");
  std::set<std::string> sections;
  std::string section;
  std::smatch m;
  for (std::size_t at = 0; at < merged.size();) {
    const std::size_t end = merged.find("\r\n", at);
    const std::string line = merged.substr(at, end - at);
    if (std::regex_match(line, m, header)) {
      section = m[1];
      EXPECT_TRUE(sections.insert(section).second) << "a second [" << section << "]";
    } else {
      ASSERT_TRUE(std::regex_match(line, m, key_line)) << "a line that does not parse: " << line;
      EXPECT_EQ(held[section + "/" + m[1].str()].count(m[2]), 1u) << section << "/" << line;
    }
    at = end + 2;
  }
  EXPECT_EQ(sections.size(), 300u + kCatalogues + 2);  // every tool, every own one, Mine, Rk5Helper
  const std::string fetched = ReadFileBytes(File("rk5h.ini"));
  EXPECT_NE(std::find(catalogues.begin(), catalogues.end(), fetched), catalogues.end());
}

TEST_F(RefreshProcesses, APipeOrAnEndlessDeviceInPlaceOfAnIniFileNeverHangsTheProgram) {
  server_.Route("/rk5h.ini", test::Ok("[New]\r\nName=new\r\n"));
  const auto plant = [](const fs::path& where, bool pipe) {
    fs::remove(where);
    if (pipe) {
      ASSERT_EQ(::mkfifo(where.c_str(), 0600), 0);
    } else {
      fs::create_symlink("/dev/zero", where);
    }
  };
  // The executable reads the registry and "rk5h.ini" before any window.
  fs::copy_file(RK5_HELPER_EXE, program_ / "rk5helper");
  const auto dry_run = [&] {
    QProcess exe;
    QProcessEnvironment env = Environment();
    env.insert("RK5HELPER_DRY_RUN", "1");
    exe.setProcessEnvironment(env);
    exe.start(QString::fromStdString((program_ / "rk5helper").string()), {});
    EXPECT_TRUE(exe.waitForFinished(60000)) << "the start hangs";
    EXPECT_EQ(exe.exitCode(), 0);
    return exe.readAllStandardOutput().toStdString();
  };
  for (bool pipe : {true, false}) {
    SCOPED_TRACE(pipe ? "a pipe" : "a link to /dev/zero");
    plant(dir_.file("registry.ini"), pipe);
    EXPECT_NE(dry_run().find("RunMode=/install\n"), std::string::npos);  // no registered folder
    EXPECT_EQ(pipe ? fs::is_fifo(dir_.file("registry.ini")) : fs::is_symlink(dir_.file("registry.ini")), true);
    fs::remove(dir_.file("registry.ini"));
    WriteFileBytes(dir_.file("registry.ini"), "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Rk5Helper]\nPath=" + Folder() + "\n");
    plant(File("rk5h.ini"), pipe);
    const std::string decided = dry_run();
    EXPECT_NE(decided.find("RunMode=\n"), std::string::npos) << decided;
    EXPECT_NE(decided.find("UpdateRequired=0\n"), std::string::npos) << decided;
    fs::remove(File("rk5h.ini"));

    // The window reads "Settings.ini" and "Local.ini": it opens and refreshes all the same.
    WriteFileBytes(File("Local.ini"), "[T]\r\nName=T\r\n");
    plant(File("Settings.ini"), pipe);  // the catalogue's default address, through the proxy
    Outcome run = Refresh(1);
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_TRUE(run.alerts.empty());
    EXPECT_NE(ReadFileBytes(File("Local.ini")).find("[New]"), std::string::npos);
    plant(File("Local.ini"), pipe);
    run = Refresh(1);
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_EQ(run.alerts, std::vector<std::string>{"Unable to write to " + Folder() + "Local.ini"});
    EXPECT_EQ(pipe ? fs::is_fifo(File("Local.ini")) : fs::is_symlink(File("Local.ini")), true);
    fs::remove(File("Local.ini"));
    fs::remove(File("Settings.ini"));
  }
}

class AnotherUser : public RefreshProcesses {
 protected:
  void SetUp() override {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
    // Others may look into the folders, not write there.
    for (fs::path p = program_; p != dir_.path().parent_path(); p = p.parent_path()) {
      ASSERT_EQ(::chmod(p.c_str(), 0755), 0);
    }
  }
};

TEST_F(AnotherUser, AFolderTheProgramCannotWriteToIsNamedNotTheServer) {
  server_.Route("/rk5h.ini", test::Ok("[New]\r\nName=new\r\n"));
  WriteFileBytes(File("Local.ini"), "[T]\r\nName=T\r\n");
  const Outcome run = Refresh(1, /*as_nobody=*/true);
  EXPECT_EQ(run.exit_code, 0) << run.out;
  EXPECT_EQ(server_.RequestCount(), 1u);  // the server answered
  EXPECT_EQ(run.alerts, std::vector<std::string>{"Unable to write to " + Folder() + "rk5h.ini"});
  EXPECT_FALSE(fs::exists(File("rk5h.ini")));
}

TEST_F(AnotherUser, ALockHeldByAnotherUserNeitherFreezesTheWindowNorLetsItWriteUnlocked) {
  server_.Route("/rk5h.ini", test::Ok("[New]\r\nName=new\r\n"));
  const std::string local = "[T]\r\nName=T\r\n";
  WriteFileBytes(File("Local.ini"), local);
  ASSERT_EQ(::chmod(program_.c_str(), 0777), 0);
  QProcess holder;
  holder.start("setpriv", {"--reuid=65534", "--regid=65534", "--clear-groups", "flock",
                           QString::fromStdString(File("Local.ini.lock").string()), "-c",
                           "echo held; read line"});
  ASSERT_TRUE(holder.waitForReadyRead(20000));
  ASSERT_EQ(holder.readLine().trimmed(), "held");
  // The refresh ends (while the lock is still held) and says the record could not be written.
  const Outcome run = Refresh(1);
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.alerts, std::vector<std::string>{"Unable to write to " + Folder() + "Local.ini"});
  EXPECT_EQ(ReadFileBytes(File("Local.ini")), local);
  holder.write("stop\n");
  EXPECT_TRUE(holder.waitForFinished(20000));
}

}  // namespace
}  // namespace rk5
