// The main window's actions through real processes: a tool started in its folder, the
// "/dl" copy of the program started after its licence was accepted, desktop launchers
// that the desktop's own tools accept and start.
#include <gtest/gtest.h>
#include <QAction>
#include <QApplication>
#include <QProcess>
#include <QPushButton>
#include <QTimer>
#include <QtTest/QTest>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "gui/main/main_window.h"
#include "gui/main/program_list.h"
#include "selfinstall/run_state.h"
#include "ini/file_registry.h"
#include "gui/licence/licence_window.h"
#include "support/alert_catcher.h"
#include "support/event_wait.h"
#include "support/http_test_server.h"
#include "support/qt_printers.h"
#include "support/start_report.h"
#include "support/temp_dir.h"
#include "gui/base/program_icon.h"

namespace rk5 {
namespace {

namespace fs = std::filesystem;
using test::EnvOverride;
using test::RunUntil;
using test::WriteFileBytes;

const fs::path kReporter = RK5_TEST_BINARY_DIR "/tests/tool_start_report";

// A folder and a section with blanks, quotes, "$", "%" and a backslash.
constexpr char kOddFolder[] = "it's \"odd\" $HOME 100% a\\b";
constexpr char kOddSection[] = "Odd 'tool' $HOME 100% C:\\x";

// The system's program start, counting the starts it is asked for.
class CountingStart : public platform::ProgramStart {
 public:
  bool Start(const std::string& file, const std::string& parameters, const std::string& folder,
             int show_command) override {
    ++starts;
    return real_->Start(file, parameters, folder, show_command);
  }
  int starts = 0;

 private:
  std::unique_ptr<platform::ProgramStart> real_ = platform::MakeProgramStart();
};

// Answers every licence window: once its text is there, Accept or Delince. before runs
// first, in the window's modal loop.
class LicenceAnswer {
 public:
  explicit LicenceAnswer(bool accept, std::function<void()> before = {}) {
    timer_.setInterval(10);
    QObject::connect(&timer_, &QTimer::timeout, [this, accept, before] {
      auto* lic = qobject_cast<TLic*>(QApplication::activeModalWidget());
      if (lic == nullptr || !lic->btnDl()->isEnabled() || lic->property("answered").toBool())
        return;
      lic->setProperty("answered", true);
      titles.append(lic->windowTitle());
      if (before) before();
      accept ? lic->btnDl()->click() : lic->btnRefresh()->click();
    });
    timer_.start();
  }
  QStringList titles;

 private:
  QTimer timer_;
};


std::string WithoutSlash(std::string folder) {
  if (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return folder;
}

class MainActionsTest : public ::testing::Test {
 protected:
  MainActionsTest()
      : proxy_("http_proxy", server_.ProxyUrl()),
        no_proxy_("no_proxy", std::nullopt),
        no_proxy_upper_("NO_PROXY", std::nullopt),
        report_("RK5_START_REPORT", dir_.file("report").string()) {
    // The program's own copy is the reporting tool, in a folder of odd characters.
    program_ = dir_.path() / kOddFolder / "program";
    fs::create_directories(program_);
    fs::copy_file(kReporter, program_ / "rk5helper");
    run_.ProgramFolder = program_.string() + "/";
  }

  std::unique_ptr<TMain> Open(const std::string& local) {
    WriteFileBytes(program_ / "Local.ini", local);
    MainActions actions{
        &start_, launchers_.get(), registry_.get(), (program_ / "rk5helper").string(), {}};
    return std::make_unique<TMain>(run_, IconBuilder{}, std::move(actions));
  }

  // A tool folder with a script that writes its working folder and arguments into the
  // file $RK5_TOOL_LOG names.
  fs::path PlaceTool(const std::string& folder) {
    const fs::path tool_folder = dir_.path() / "tools" / folder;
    fs::create_directories(tool_folder);
    WriteFileBytes(tool_folder / "tool",
                   "#!/bin/sh\n{ pwd; echo $#; } > \"$RK5_TOOL_LOG.part\"\n"
                   "mv \"$RK5_TOOL_LOG.part\" \"$RK5_TOOL_LOG\"\n");
    fs::permissions(tool_folder / "tool", fs::perms::owner_all);
    return tool_folder;
  }

  fs::path Report() const { return dir_.file("report"); }

  test::HttpTestServer server_;
  test::TempDir dir_;
  EnvOverride proxy_, no_proxy_, no_proxy_upper_, report_;
  fs::path program_;
  RunState run_;
  CountingStart start_;
  std::unique_ptr<platform::LauncherFiles> launchers_ =
      platform::MakeLauncherFiles((dir_.path() / "data").string(), ProgramIconPng());
  std::unique_ptr<platform::Registry> registry_ =
      RegistryInFile(dir_.file("registry.ini").string());
  test::AlertCatcher alerts_;
};

TEST_F(MainActionsTest, RunAndDoubleClickStartTheToolInItsFolderGrayEntriesNothing) {
  const fs::path tools = PlaceTool("Tool One");
  auto main = Open("[Gray]\nName=Gray\nPath=" + tools.string() +
                   "/\nExeName=tool\n"
                   "[White]\nName=White\nInstalled=1\nPath=" +
                   tools.string() + "/\nExeName=tool\n");
  main->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(main.get()));
  // A real double click on a row, as the window system delivers it.
  auto double_click = [&](int row) {
    QWidget* viewport = main->List()->viewport();
    const QPoint at =
        viewport->mapTo(main.get(), main->List()->visualItemRect(main->List()->item(row)).center());
    QTest::mouseDClick(main->windowHandle(), Qt::LeftButton, {}, at);
  };

  main->List()->SetItemIndex(1);
  for (bool by_double_click : {false, true}) {
    const fs::path log = dir_.file(by_double_click ? "double-click" : "run");
    EnvOverride tool_log("RK5_TOOL_LOG", log.string());
    by_double_click ? double_click(1) : main->Run1()->trigger();
    ASSERT_TRUE(RunUntil([&] { return fs::exists(log); })) << by_double_click;
    // Started in the tool's folder, without arguments.
    EXPECT_EQ(test::ReadFileBytes(log), tools.string() + "\n0\n") << by_double_click;
  }
  EXPECT_EQ(start_.starts, 2);

  // Not installed: neither the menu entry nor a double click starts anything.
  main->List()->SetItemIndex(0);
  main->Run1()->trigger();
  double_click(0);
  EXPECT_EQ(main->List()->ItemIndex(), 0);
  EXPECT_EQ(start_.starts, 2);
}

TEST_F(MainActionsTest, DownloadStartsTheDlCopyInTheProgramFolderOnlyAfterTheLicence) {
  server_.Route("/licences/odd.txt", test::Ok("The licence of the odd tool."));
  const std::string local = std::string("[") + kOddSection +
                            "]\nName=Odd Tool\nInstalled=1\nBuild=4\nOBuild=5\n"
                            "ReadMe=http://example.test/Licences/Odd.TXT\n"
                            "[Ready]\nName=Ready\nInstalled=1\nBuild=4\nOBuild=4\n";
  auto main = Open(local);

  main->btnDl()->click();  // nothing selected: nothing happens
  main->List()->SetItemIndex(1);
  main->btnDl()->click();
  main->List()->SetItemIndex(0);
  {
    LicenceAnswer decline(false);
    main->btnDl()->click();
    EXPECT_EQ(decline.titles, QStringList{QStringLiteral("License for Odd Tool")});
  }
  EXPECT_EQ(start_.starts, 0);
  EXPECT_EQ(alerts_.Texts(),
            QStringList{QStringLiteral("This program does not need a to be updated.")});

  // A refresh that ends while the licence is read reloads the list under the action.
  WriteFileBytes(program_ / "Settings.ini", "[Server]\nURL=http://example.test/rk5h.ini\n");
  main = Open(local);
  test::HttpReply catalogue = test::Ok("[Ready]\nOBuild=6\n");
  catalogue.fault = test::Fault::kGateAt;
  catalogue.gate = "catalogue";
  server_.Route("/rk5h.ini", catalogue);
  main->btnRefresh()->click();
  main->List()->SetItemIndex(0);
  {
    LicenceAnswer accept(true, [&] {
      server_.OpenGate("catalogue");
      EXPECT_TRUE(RunUntil([&] { return main->btnRefresh()->isEnabled(); }));
    });
    main->btnDl()->click();
    EXPECT_EQ(accept.titles.size(), 1);
  }
  const std::optional<test::StartReport> started = test::AwaitStartReport(Report());
  ASSERT_TRUE(started);
  EXPECT_EQ(started->folder, program_.string());
  ASSERT_EQ(started->argv.size(), 3u);
  EXPECT_TRUE(fs::equivalent(started->argv[0], program_ / "rk5helper"));
  EXPECT_EQ(started->argv[1], "/dl");
  EXPECT_EQ(started->argv[2], kOddSection);
  EXPECT_EQ(start_.starts, 1);
  EXPECT_TRUE(main->Entry(1)->Outdated);  // the refresh's reload did happen

  run_.UpdateRequired = true;
  main->btnDl()->click();
  EXPECT_EQ(alerts_.Texts().back(),
            QStringLiteral("You must update Rk5 Helper before downloading new files!"));
  EXPECT_EQ(start_.starts, 1);
}

TEST_F(MainActionsTest, DesktopLauncherPassesValidationAndStartsTheRunModeInTheToolsFolder) {
  const fs::path desktop = dir_.path() / "Desk top";
  fs::create_directories(desktop);
  registry_->OpenKey(platform::RegistryRoot::CurrentUser, platform::kShellFoldersKey)
      ->WriteString(platform::kDesktopValue, desktop.string());
  const fs::path tools = PlaceTool(kOddFolder);
  auto main = Open(std::string("[") + kOddSection +
                   "]\nName=Odd Tool\nInstalled=1\nPath=" + tools.string() + "/\nExeName=tool\n");
  main->List()->SetItemIndex(0);
  main->CreateDesktopShortcut1()->trigger();
  EXPECT_EQ(alerts_.Texts(), QStringList{QStringLiteral("Desktop shortcut created!")});

  const fs::path launcher = desktop / "Odd Tool.desktop";
  ASSERT_TRUE(fs::exists(launcher));
  QProcess validate;
  validate.start(QStringLiteral("desktop-file-validate"), {QString::fromStdString(launcher)});
  ASSERT_TRUE(validate.waitForFinished(60000));
  EXPECT_EQ(validate.exitCode(), 0) << validate.readAll().toStdString();
  EXPECT_EQ(validate.readAll(), QByteArray());

  // Started the way desktops start launchers.
  QProcess launch;
  launch.start(QStringLiteral("gio"), {QStringLiteral("launch"), QString::fromStdString(launcher)});
  ASSERT_TRUE(launch.waitForFinished(60000));
  EXPECT_EQ(launch.exitCode(), 0) << launch.readAllStandardError().toStdString();
  const std::optional<test::StartReport> started = test::AwaitStartReport(Report());
  ASSERT_TRUE(started);
  EXPECT_EQ(started->folder, WithoutSlash(tools.string()));
  ASSERT_EQ(started->argv.size(), 3u);
  EXPECT_TRUE(fs::equivalent(started->argv[0], program_ / "rk5helper"));
  EXPECT_EQ(started->argv[1], "/run");
  EXPECT_EQ(started->argv[2], kOddSection);
}

TEST_F(MainActionsTest, LaunchersThatCannotBeWrittenAreReportedAndLandNowhere) {
  const fs::path desktop = dir_.path() / "Desktop";
  fs::create_directories(desktop);
  auto key = registry_->OpenKey(platform::RegistryRoot::CurrentUser, platform::kShellFoldersKey);
  key->WriteString(platform::kDesktopValue, desktop.string());
  const fs::path tools = PlaceTool("Tool");
  std::string local;
  const std::vector<std::string> names = {"", ".", "..", "a/b", "../escape", std::string(300, 'n')};
  for (std::size_t i = 0; i < names.size(); ++i) {
    local += "[T" + std::to_string(i) + "]\nName=" + names[i] +
             "\nInstalled=1\nPath=" + tools.string() + "/\nExeName=tool\n";
  }
  local += "[Quote\"d]\nName=Quoted\nInstalled=1\nPath=" + tools.string() + "/\nExeName=tool\n";
  local += "[Gray]\nName=Gray\nPath=" + tools.string() + "/\nExeName=tool\n";
  local += "[Fine]\nName=Fine\nInstalled=1\nPath=" + tools.string() + "/\nExeName=tool\n";
  auto main = Open(local);
  const int rows = static_cast<int>(names.size()) + 2;  // the bad names, the quote, the gray one
  for (int row = 0; row < rows; ++row) {
    main->List()->SetItemIndex(row);
    main->CreateDesktopShortcut1()->trigger();
  }
  // A fine name, but the desktop folder is not there.
  key->WriteString(platform::kDesktopValue, (dir_.path() / "missing").string());
  main->List()->SetItemIndex(rows);
  main->CreateDesktopShortcut1()->trigger();
  EXPECT_EQ(alerts_.Texts(), QStringList(rows, QStringLiteral("Can't create desktop shortcut!")));
  EXPECT_TRUE(fs::is_empty(desktop));
  EXPECT_FALSE(fs::exists(dir_.path() / "escape.desktop"));
  EXPECT_FALSE(fs::exists(dir_.path() / "missing"));
}

}  // namespace
}  // namespace rk5
