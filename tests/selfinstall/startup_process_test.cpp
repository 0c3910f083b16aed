// The start-up modes through the real executable: a scratch program folder, registry file,
// home, desktop, data and runtime folders, and a private X display on which the test
// watches the windows the program shows and clicks them as a user would.
#include <gtest/gtest.h>
#include <unistd.h>
#include <QProcess>
#include <QProcessEnvironment>

#include <filesystem>
#include <random>
#include <string>
#include <thread>

#include "catalogue/update_hand_over.h"
#include "platform/busy_marks.h"
#include "support/event_wait.h"
#include "support/processes.h"
#include "support/temp_dir.h"
#include "support/x_display.h"
#include "gui/base/program_icon.h"

namespace rk5 {
namespace {

namespace fs = std::filesystem;
using test::ReadFileBytes;
using test::WriteFileBytes;

constexpr int kAlertWidth = 256, kAlertHeight = 111;  // the start-up window
constexpr int kOkX = 208, kOkY = 86;                  // the middle of its OK button

bool Executable(const fs::path& file) {
  return (fs::status(file).permissions() & fs::perms::owner_exec) != fs::perms::none;
}

class ModeProcess : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(display_.Name().empty()) << "needs Xvfb";
    real_ = fs::canonical(dir_.path());
    program_ = real_ / "prog";
    for (const char* folder : {"prog", "home", "desk", "data", "run"}) {
      fs::create_directories(real_ / folder);
    }
    fs::permissions(real_ / "run", fs::perms::owner_all);
    fs::copy_file(RK5_HELPER_EXE, program_ / "rk5helper");
  }
  void TearDown() override {
    for (const fs::path& exe : started_) EXPECT_TRUE(test::KillProcessesRunning(exe.string()));
  }

  std::string Folder(const fs::path& path) const { return path.string() + "/"; }
  fs::path RegistryFile() const { return real_ / "registry.ini"; }
  void Registry(const std::string& text) { WriteFileBytes(RegistryFile(), text); }
  std::string RegisteredPath() const {
    const std::string text = ReadFileBytes(RegistryFile());
    const std::size_t at = text.find("\nPath=");
    if (at == std::string::npos) return "<none>";
    const std::size_t end = text.find_first_of("\r\n", at + 6);
    return text.substr(at + 6, end - at - 6);
  }

  QProcessEnvironment Environment() const {
    QProcessEnvironment env = display_.ProgramEnvironment();
    env.insert("RK5HELPER_REGISTRY", QString::fromStdString(RegistryFile().string()));
    env.insert("HOME", QString::fromStdString((real_ / "home").string()));
    env.insert("XDG_DESKTOP_DIR", QString::fromStdString((real_ / "desk").string()));
    env.insert("XDG_DATA_HOME", QString::fromStdString((real_ / "data").string()));
    env.insert("XDG_CONFIG_HOME", QString::fromStdString((real_ / "home/.config").string()));
    env.insert("XDG_RUNTIME_DIR", QString::fromStdString((real_ / "run").string()));
    env.remove("RK5HELPER_DRY_RUN");
    return env;
  }

  // Starts exe with args; when confined, without the power to write where the file
  // permissions say no (root has it otherwise).
  std::unique_ptr<QProcess> Start(const fs::path& exe, const QStringList& args,
                                  bool confined = false) {
    auto p = std::make_unique<QProcess>();
    // Programs the run starts inherit its output; a pipe that closes with the run would
    // end them at their first word.
    p->setProcessChannelMode(QProcess::ForwardedChannels);
    p->setProcessEnvironment(Environment());
    p->setWorkingDirectory(QString::fromStdString(real_.string()));
    QString program = QString::fromStdString(exe.string());
    QStringList arguments = args;
    if (confined && ::geteuid() == 0) {
      arguments.prepend(program);
      arguments.prepend("--bounding-set=-dac_override,-fowner");
      program = "setpriv";
    }
    p->start(program, arguments);
    EXPECT_TRUE(p->waitForStarted(10000));
    return p;
  }
  // The run ends on its own with code 0.
  void ExpectEnds(QProcess& p) {
    EXPECT_TRUE(p.waitForFinished(30000));
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 0);
  }
  // The start-up window of p, shown, its whole frame the design's.
  std::string StartupWindow(QProcess& p) {
    const std::string window = display_.WaitForWindow(p.processId(), "Rk5 Helper");
    EXPECT_FALSE(window.empty()) << "no window shown";
    if (window.empty()) return window;
    const auto size = display_.SizeOf(window);
    EXPECT_EQ(size.width, kAlertWidth);
    EXPECT_EQ(size.height, kAlertHeight);
    return window;
  }
  // A program that the run started on its own is running from exe (it is ended at the
  // end of the test).
  bool StartedFrom(const fs::path& exe) {
    started_.push_back(exe);
    return test::RunUntil([&] { return !test::ProcessesRunning(exe.string()).empty(); });
  }

  test::XDisplay display_;
  test::TempDir dir_;
  fs::path real_, program_;
  std::vector<fs::path> started_;
};

TEST_F(ModeProcess, InstallCopiesRecordsAndPutsLaunchersThatStartTheInstalledProgram) {
  const fs::path helper = real_ / "pf/Rk5/Helper";
  const std::string machine =
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion]\n";
  for (const std::string& program_files : {(real_ / "pf").string(), Folder(real_ / "pf")}) {
    SCOPED_TRACE(program_files);
    Registry(machine + "ProgramFilesDir=" + program_files + "\n");  // no Path: a first run
    // The menu launcher an earlier install left under the name it shows.
    fs::create_directories(real_ / "data/applications");
    WriteFileBytes(real_ / "data/applications/Rk5 Helper.desktop",
                   "[Desktop Entry]\nType=Application\nName=Rk5 Helper\nExec=\"" +
                       (helper / "rk5helper").string() + "\"\n");
    auto install = Start(program_ / "rk5helper", {});
    const std::string window = StartupWindow(*install);

    // Everything is in place while "Rk5 Helper installed!" is shown.
    EXPECT_EQ(RegisteredPath(), Folder(helper));
    EXPECT_EQ(ReadFileBytes(helper / "rk5helper"), ReadFileBytes(RK5_HELPER_EXE));
    EXPECT_TRUE(Executable(helper / "rk5helper"));
    EXPECT_FALSE(fs::exists(real_ / "data/applications/Rk5 Helper.desktop"));
    for (const fs::path& launcher : {real_ / "desk/Rk5 Helper.desktop",
                                     real_ / "data/applications/org.rk5helper.Rk5Helper.desktop"}) {
      const std::string text = ReadFileBytes(launcher);
      EXPECT_NE(text.find("\nName=Rk5 Helper\n"), std::string::npos) << text;
      EXPECT_NE(text.find("\nComment=Download and maintains Rk5 tools.\n"), std::string::npos)
          << text;
      // The program's own icon, kept as a picture in the user's data folder.
      const std::size_t icon_at = text.find("\nIcon=");
      ASSERT_NE(icon_at, std::string::npos) << text;
      const fs::path icon = text.substr(icon_at + 6, text.find('\n', icon_at + 1) - icon_at - 6);
      EXPECT_EQ(icon.parent_path(), real_ / "data/rk5helper/icons");
      EXPECT_EQ(ReadFileBytes(icon), ProgramIconPng());
      EXPECT_EQ(
          QProcess::execute("desktop-file-validate", {QString::fromStdString(launcher.string())}),
          0)
          << text;
    }
    display_.Click(window, kOkX, kOkY);
    ExpectEnds(*install);
  }

  // Each launcher starts the installed program, which finds itself installed and opens
  // the catalogue window.
  for (const char* launcher :
       {"desk/Rk5 Helper.desktop", "data/applications/org.rk5helper.Rk5Helper.desktop"}) {
    SCOPED_TRACE(launcher);
    auto gio =
        Start("/usr/bin/gio", {"launch", QString::fromStdString((real_ / launcher).string())});
    ExpectEnds(*gio);
    ASSERT_TRUE(StartedFrom(helper / "rk5helper"));
    const std::vector<int> pids = test::ProcessesRunning((helper / "rk5helper").string());
    ASSERT_EQ(pids.size(), 1u);
    const std::string main_window = display_.WaitForWindow(pids[0], "Rk5 Helper");
    ASSERT_FALSE(main_window.empty());
    EXPECT_EQ(display_.SizeOf(main_window).width, 311);
    EXPECT_EQ(fs::read_symlink("/proc/" + std::to_string(pids[0]) + "/cwd"), helper);
    EXPECT_TRUE(test::KillProcessesRunning((helper / "rk5helper").string()));
  }
}

TEST_F(ModeProcess, AnInstallIntoAReadOnlyFolderShowsTheErrorAndRecordsNothing) {
  fs::create_directories(real_ / "ro");
  fs::permissions(real_ / "ro", fs::perms(0555));
  Registry("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion]\nProgramFilesDir=" +
           (real_ / "ro").string() + "\n");
  auto install = Start(program_ / "rk5helper", {"/install"}, /*confined=*/true);
  // An error box, not the start-up window, and the run waits on it.
  const std::string box = display_.WaitForWindow(install->processId(), "Rk5 Helper");
  ASSERT_FALSE(box.empty());
  EXPECT_EQ(display_.TypeOf(box), "_NET_WM_WINDOW_TYPE_DIALOG");
  EXPECT_NE(display_.SizeOf(box).width, kAlertWidth);
  EXPECT_EQ(install->state(), QProcess::Running);
  EXPECT_EQ(RegisteredPath(), "<none>");
  EXPECT_FALSE(fs::exists(real_ / "ro/Rk5"));
  EXPECT_FALSE(fs::exists(real_ / "desk/Rk5 Helper.desktop"));
  EXPECT_FALSE(fs::exists(real_ / "data/applications"));
  install->kill();
  install->waitForFinished();
}

TEST_F(ModeProcess, InstalledShowsItsMessageAndTheRunEndsWhenItIsClosed) {
  Registry("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Rk5Helper]\nPath=/somewhere/else/\n");
  const std::string before = ReadFileBytes(RegistryFile());
  for (const QStringList& args : {QStringList{}, QStringList{"/update"}}) {
    auto run = Start(program_ / "rk5helper", args);
    display_.Click(StartupWindow(*run), kOkX, kOkY);
    ExpectEnds(*run);
  }
  EXPECT_EQ(ReadFileBytes(RegistryFile()), before);
  EXPECT_TRUE(fs::is_empty(real_ / "desk"));
}

TEST_F(ModeProcess, RunStartsTheRecordedToolInItsFolderAndAnUnknownSectionNothing) {
  Registry("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Rk5Helper]\nPath=" + Folder(program_) + "\n");
  const fs::path tool = real_ / "tools/Foo Tool";
  fs::create_directories(tool);
  WriteFileBytes(tool / "foo", "#!/bin/sh\npwd > \"" + (real_ / "ran.tmp").string() +
                                   "\"\necho \"$#\" >> \"" + (real_ / "ran.tmp").string() +
                                   "\"\nmv \"" + (real_ / "ran.tmp").string() + "\" \"" +
                                   (real_ / "ran").string() + "\"\n");
  fs::permissions(tool / "foo", fs::perms(0755));
  WriteFileBytes(program_ / "Local.ini",
                 "[Foo]\r\nName=Foo\r\nPath=" + Folder(tool) +
                     "\r\nExeName=foo\r\nInstalled=1\r\n[Bar]\r\nName=Bar\r\n");
  for (const char* unknown : {"Bar", "Nothing"}) {
    auto run = Start(program_ / "rk5helper", {"/run", unknown});
    ExpectEnds(*run);
  }
  auto run = Start(program_ / "rk5helper", {"/run", "Foo"});
  ExpectEnds(*run);
  ASSERT_TRUE(test::RunUntil([&] { return fs::exists(real_ / "ran"); }));
  EXPECT_EQ(ReadFileBytes(real_ / "ran"), tool.string() + "\n0\n");  // in its folder, no arguments
}

class UpdateProcess : public ModeProcess {
 protected:
  void SetUp() override {
    ModeProcess::SetUp();
    Registry("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Rk5Helper]\nPath=" + Folder(program_) + "\n");
    fs::rename(program_ / "rk5helper", program_ / "rk5h");  // the fetched new build
    // The old build: a program of its own that leaves a sign when it is started.
    old_ = "#!/bin/sh\necho started >> \"" + (real_ / "old-started").string() + "\"\n" +
           std::string(1 << 20, '#') + "\n";
    WriteFileBytes(program_ / "rk5helper", old_);
    fs::permissions(program_ / "rk5helper", fs::perms(0755));
    new_ = ReadFileBytes(program_ / "rk5h");
  }
  std::string old_, new_;
};

TEST_F(UpdateProcess, WaitsForTheStartingCopyToEndThenReplacesAndStartsTheNewBuild) {
  auto marks = platform::MakeBusyMarks((real_ / "run").string());
  auto starting_copy = HoldHandOver(*marks);
  ASSERT_NE(starting_copy, nullptr);
  auto update = Start(program_ / "rk5h", {"/update"});
  // While the starting copy lives, its executable stays.
  EXPECT_FALSE(update->waitForFinished(1000));
  EXPECT_EQ(ReadFileBytes(program_ / "rk5helper"), old_);
  starting_copy.reset();  // the starting copy ends
  ExpectEnds(*update);
  EXPECT_EQ(ReadFileBytes(program_ / "rk5helper"), new_);
  EXPECT_TRUE(Executable(program_ / "rk5helper"));
  EXPECT_TRUE(fs::exists(program_ / "rk5h"));  // left in place
  ASSERT_TRUE(StartedFrom(program_ / "rk5helper"));
  EXPECT_FALSE(fs::exists(real_ / "old-started"));
}

TEST_F(UpdateProcess, AStartingCopyThatNeverEndsHoldsTheUpdateOnlyForAWhile) {
  auto marks = platform::MakeBusyMarks((real_ / "run").string());
  auto stuck_copy = HoldHandOver(*marks);
  ASSERT_NE(stuck_copy, nullptr);
  auto update = Start(program_ / "rk5h", {"/update"});
  ExpectEnds(*update);  // within the hang guard, with the mark still held
  EXPECT_EQ(ReadFileBytes(program_ / "rk5helper"), new_);
  ASSERT_TRUE(StartedFrom(program_ / "rk5helper"));
}

TEST_F(UpdateProcess, AnUpdateThatCannotWriteStartsTheOldBuildUntouched) {
  fs::permissions(program_, fs::perms(0555));
  auto update = Start(program_ / "rk5h", {"/update"}, /*confined=*/true);
  ExpectEnds(*update);
  ASSERT_TRUE(test::RunUntil([&] { return fs::exists(real_ / "old-started"); }));
  EXPECT_EQ(ReadFileBytes(program_ / "rk5helper"), old_);
  fs::permissions(program_, fs::perms(0755));
}

TEST_F(UpdateProcess, AKillAtAnyMomentLeavesACompleteOldOrNewProgram) {
  // How long an update takes here sets the range the kills are spread over.
  const auto begin = std::chrono::steady_clock::now();
  {
    auto update = Start(program_ / "rk5h", {"/update"});
    ExpectEnds(*update);
  }
  const auto span = std::chrono::duration_cast<std::chrono::microseconds>(
      std::chrono::steady_clock::now() - begin);
  ASSERT_TRUE(StartedFrom(program_ / "rk5helper"));
  EXPECT_TRUE(test::KillProcessesRunning((program_ / "rk5helper").string()));

  std::mt19937 random(20261208);
  int old_seen = 0, new_seen = 0;
  for (int round = 0; round < 40; ++round) {
    // Put back beside and renamed: a copy that a killed update was still starting may
    // yet run the file, and a file being run cannot be rewritten in place.
    WriteFileBytes(program_ / "rk5helper.back", old_);
    fs::permissions(program_ / "rk5helper.back", fs::perms(0755));
    fs::rename(program_ / "rk5helper.back", program_ / "rk5helper");
    auto update = Start(program_ / "rk5h", {"/update"});
    std::uniform_int_distribution<long long> moment(0, span.count());
    std::this_thread::sleep_for(std::chrono::microseconds(moment(random)));  // the kill's moment
    update->kill();
    update->waitForFinished();
    // Forks of the killed update that had not yet become the program, then the program.
    EXPECT_TRUE(test::KillProcessesRunning((program_ / "rk5h").string()));
    EXPECT_TRUE(test::KillProcessesRunning((program_ / "rk5helper").string()));
    const std::string left = ReadFileBytes(program_ / "rk5helper");
    ASSERT_TRUE(left == old_ || left == new_)
        << "round " << round << ": " << left.size() << " bytes";
    EXPECT_TRUE(Executable(program_ / "rk5helper"));
    (left == old_ ? old_seen : new_seen)++;
  }
  // Both outcomes occur, so the kills did land before and after the replacement.
  EXPECT_GT(old_seen, 0);
  EXPECT_GT(new_seen, 0);
}

}  // namespace
}  // namespace rk5
