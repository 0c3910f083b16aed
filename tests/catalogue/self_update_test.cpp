// The self-update end to end: a refresh announces a newer build, Update fetches it from the
// loopback test server, the window hands over to it, and the fetched build (a copy of this
// program) replaces the program in "/update" and starts it. Every failure on the way is a
// "Can't connect to server!" with the list back.
#include <gtest/gtest.h>
#include <QCryptographicHash>
#include <QLabel>
#include <QPushButton>
#include <QTcpServer>

#include <filesystem>

#include "gui/main/main_window.h"
#include "gui/main/program_list.h"
#include "support/alert_catcher.h"
#include "support/event_wait.h"
#include "support/http_test_server.h"
#include "support/processes.h"
#include "support/temp_dir.h"
#include "gui/gauge/gauge.h"

namespace rk5 {
namespace {

namespace fs = std::filesystem;
using test::EnvOverride;
using test::ReadFileBytes;
using test::RunUntil;
using test::WriteFileBytes;

std::string Sha256(const std::string& bytes) {
  return QCryptographicHash::hash(QByteArray::fromStdString(bytes), QCryptographicHash::Sha256)
      .toHex()
      .toStdString();
}

class SelfUpdate : public ::testing::Test {
 protected:
  SelfUpdate()
      : real_(fs::canonical(dir_.path())),
        proxy_("http_proxy", server_.ProxyUrl()),
        no_proxy_("no_proxy", std::nullopt),
        no_proxy_upper_("NO_PROXY", std::nullopt),
        registry_("RK5HELPER_REGISTRY", (real_ / "registry.ini").string()),
        runtime_("XDG_RUNTIME_DIR", (real_ / "run").string()) {}

  void SetUp() override {
    fs::create_directories(real_ / "prog");
    fs::create_directories(real_ / "run");
    fs::permissions(real_ / "run", fs::perms::owner_all);
    folder_ = (real_ / "prog").string() + "/";
    run_.ProgramFolder = folder_;
    // The handed-over build finds itself installed here.
    WriteFileBytes(real_ / "registry.ini",
                   "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Rk5Helper]\nPath=" + folder_ + "\n");
    WriteFileBytes(folder_ + "Settings.ini", "[Server]\r\nURL=http://catalogue.test/rk5h.ini\r\n");
    WriteFileBytes(folder_ + "Local.ini", "[Tool]\r\nName=Tool\r\n");
    old_ = "#!/bin/sh\necho started >> \"" + (real_ / "old-started").string() + "\"\n";
    WriteFileBytes(folder_ + "rk5helper", old_);
    fs::permissions(folder_ + "rk5helper", fs::perms(0755));
    new_ = ReadFileBytes(RK5_HELPER_EXE);
  }
  void TearDown() override {
    main_.reset();
    EXPECT_TRUE(test::KillProcessesRunning(folder_ + "rk5h"));
    EXPECT_TRUE(test::KillProcessesRunning(folder_ + "rk5helper"));
  }

  void Announce(const std::string& own_section) {
    server_.Route("/rk5h.ini",
                  test::Ok("[Tool]\r\nName=Tool\r\n[Rk5Helper]\r\nBuild=3\r\n" + own_section));
  }
  void Open() {
    main_ =
        std::make_unique<TMain>(run_, IconBuilder{}, MainActions{},
                                SelfUpdateServices{start_.get(), marks_.get(), attributes_.get(),
                                                   [this] { ++terminated_; }});
  }
  void PressRefresh() {
    main_->btnRefresh()->click();
    ASSERT_TRUE(RunUntil([&] { return main_->btnRefresh()->isEnabled(); }));
  }
  // The window after a failed update: as before the fetch, and ready for another try.
  void ExpectFailedUpdate(const std::string& which) {
    SCOPED_TRACE(which);
    ASSERT_TRUE(RunUntil([&] { return alerts_.Texts().contains("Can't connect to server!"); }));
    EXPECT_EQ(main_->c()->text(), QStringLiteral("Programs:"));
    EXPECT_FALSE(main_->List()->isHidden());
    EXPECT_TRUE(main_->ProgressBar()->isHidden());
    EXPECT_TRUE(main_->btnUpdate()->isEnabled());
    EXPECT_EQ(terminated_, 0);
    EXPECT_TRUE(test::ProcessesRunning(folder_ + "rk5h").empty());
    EXPECT_EQ(ReadFileBytes(folder_ + "rk5helper"), old_);
  }

  test::TempDir dir_;
  fs::path real_;
  test::HttpTestServer server_;
  EnvOverride proxy_, no_proxy_, no_proxy_upper_, registry_, runtime_;
  std::unique_ptr<platform::ProgramStart> start_ = platform::MakeProgramStart();
  std::unique_ptr<platform::BusyMarks> marks_ = platform::MakeBusyMarks((real_ / "run").string());
  std::unique_ptr<platform::FileAttributes> attributes_ = platform::MakeFileAttributes();
  std::string folder_, old_, new_;
  RunState run_;
  int terminated_ = 0;
  test::AlertCatcher alerts_;
  std::unique_ptr<TMain> main_;
};

TEST_F(SelfUpdate, TheAnnouncedBuildIsFetchedHandedOverAndReplacesTheProgram) {
  Announce("URL=http://update.test/builds/rk5helper\r\nSHA256=" + Sha256(new_) + "\r\n");
  test::HttpReply build = test::Ok(new_);
  build.fault = test::Fault::kGateAt;  // half of it, then wait for the test
  build.fault_at = new_.size() / 2;
  build.gate = "half";
  server_.Route("/builds/rk5helper", build);
  Open();
  PressRefresh();
  EXPECT_EQ(alerts_.Texts().value(0), QStringLiteral("Rk5 Helper need to be updated!"));
  EXPECT_FALSE(main_->btnUpdate()->isEnabled());

  // Halfway: the gauge in place of the list.
  ASSERT_TRUE(server_.WaitAtGate("half"));
  ASSERT_TRUE(RunUntil([&] { return main_->ProgressBar()->Progress() > 0; }));
  EXPECT_EQ(main_->c()->text(), QStringLiteral("Updating..."));
  EXPECT_TRUE(main_->List()->isHidden());
  EXPECT_FALSE(main_->ProgressBar()->isHidden());
  EXPECT_EQ(main_->ProgressBar()->MaxValue(), static_cast<int32_t>(new_.size()));
  EXPECT_LT(main_->ProgressBar()->Progress(), static_cast<int32_t>(new_.size()));
  server_.OpenGate("half");

  // Fetched and started: the run is asked to end.
  ASSERT_TRUE(RunUntil([&] { return terminated_ == 1; }));
  EXPECT_EQ(alerts_.Texts().size(), 1);
  EXPECT_EQ(ReadFileBytes(folder_ + "rk5h"), new_);
  ASSERT_TRUE(RunUntil([&] { return !test::ProcessesRunning(folder_ + "rk5h").empty(); }));
  const std::vector<int> handed = test::ProcessesRunning(folder_ + "rk5h");
  ASSERT_EQ(handed.size(), 1u);
  const std::vector<std::string> arguments = test::CommandLineOf(handed[0]);
  ASSERT_EQ(arguments.size(), 2u);  // the program and "/update", nothing else
  EXPECT_EQ(arguments[1], "/update");
  EXPECT_EQ(fs::read_symlink("/proc/" + std::to_string(handed[0]) + "/cwd").string() + "/",
            folder_);
  // The new build waits while this copy lives; it goes, and the new build takes over.
  EXPECT_EQ(ReadFileBytes(folder_ + "rk5helper"), old_);
  main_.reset();
  ASSERT_TRUE(RunUntil([&] { return ReadFileBytes(folder_ + "rk5helper") == new_; }));
  ASSERT_TRUE(RunUntil([&] { return !test::ProcessesRunning(folder_ + "rk5helper").empty(); }));
  EXPECT_TRUE(RunUntil([&] { return test::ProcessesRunning(folder_ + "rk5h").empty(); }));
  EXPECT_FALSE(fs::exists(real_ / "old-started"));
  ASSERT_EQ(server_.RequestCount(), 2u);
  EXPECT_EQ(server_.Requests()[1].target, "http://update.test/builds/rk5helper");
}

TEST_F(SelfUpdate, AFailedFetchOrAFileThatIsNotTheBuildIsNeverHandedOver) {
  test::HttpReply short_body = test::Ok(new_);
  short_body.fault = test::Fault::kCloseAt;
  short_body.fault_at = new_.size() / 3;
  struct Case {
    std::string name, own_section;
    test::HttpReply reply;
  };
  const std::string url = "URL=http://update.test/build\r\n";
  for (const Case& c :
       {Case{"short body", url, short_body},
        Case{"digest mismatch", url + "SHA256=" + Sha256(new_ + "x") + "\r\n", test::Ok(new_)},
        Case{"digest that is no digest", url + "SHA256=" + std::string(64, 'z') + "\r\n",
             test::Ok(new_)},
        Case{"error page", url, test::Ok("<html><body>Down for maintenance</body></html>\n")},
        Case{"no URL", "", test::Ok(new_)},
        Case{"a URL that is none", "URL=:: not an address ::\r\n", test::Ok(new_)}}) {
    SCOPED_TRACE(c.name);
    Announce(c.own_section);
    server_.Route("/build", c.reply);
    run_ = RunState{};
    run_.ProgramFolder = folder_;
    Open();
    PressRefresh();
    ExpectFailedUpdate(c.name);
    alerts_.Clear();
  }
}

TEST_F(SelfUpdate, ARefusedConnectionLeavesUpdateToPressAgain) {
  QTcpServer closed;
  ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
  const quint16 port = closed.serverPort();
  closed.close();
  EnvOverride refused("http_proxy", "http://127.0.0.1:" + std::to_string(port));
  run_.UpdateRequired = true;  // announced at start: nothing is fetched until Update
  run_.UpdateURL = "http://update.test/build";
  Open();
  EXPECT_FALSE(main_->btnUpdate()->isHidden());
  EXPECT_TRUE(alerts_.Texts().isEmpty());
  main_->btnUpdate()->click();
  ExpectFailedUpdate("refused");
  // Update can be pressed again and fetches again.
  server_.Route("/build", test::Ok("<html>error</html>"));
  EnvOverride back("http_proxy", server_.ProxyUrl());
  alerts_.Clear();
  main_->btnUpdate()->click();
  ExpectFailedUpdate("again");
  EXPECT_EQ(server_.RequestCount(), 1u);
}

}  // namespace
}  // namespace rk5
