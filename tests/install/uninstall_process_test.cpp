// Uninstalling through the real executable: tools installed by "/dl" from the loopback
// server, then "/uninstall" answered on a private X display as a user would; launchers
// in the registry's desktop and menu folders; kills at random moments, each followed by
// a start that must find the tool whole with its record or gone with its record cleared.
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QProcess>
#include <QProcessEnvironment>
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <iostream>
#include <random>
#include <thread>

#include "catalogue/messages.h"
#include "gui/alert/alert_box.h"
#include "support/event_wait.h"
#include "support/http_test_server.h"
#include "support/temp_dir.h"
#include "support/tree_snapshot.h"
#include "support/x_display.h"
#include "support/zip_builder.h"

namespace rk5::test {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

const QRect kBand(0, 0, 200, 24);
const QRect kText(16, 40, 233, 34);  // the label above the buttons
const QPoint kYes(103 + 32, 76 + 10);
const QPoint kOk(176 + 32, 76 + 10);  // "OK" of a message, "No" of a question
const QPoint kDownloadOk(216 + 32, 84 + 10);

// The message window as the program must show text.
QImage Reference(const std::string& text) {
  TAlertBox box;
  box.Label1()->setText(QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
  box.show();
  return box.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

std::string Launcher(const std::string& program, const std::string& section) {
  return "[Desktop Entry]\nType=Application\nName=Foo Tool\nExec=" + program + " /run " + section + "\n";
}

class UninstallProcess : public ::testing::Test {
 protected:
  struct Copy {
    std::unique_ptr<QProcess> process;
    long long pid = 0;
    std::string window;
  };

  void SetUp() override {
    ASSERT_FALSE(x_.Name().empty()) << "Xvfb did not start";
    fs::create_directories(program_);
    fs::copy_file(RK5_HELPER_EXE, program_ / "rk5helper");
    for (const fs::path& folder : {runtime_, desktop_, menu_}) fs::create_directories(folder);
    fs::permissions(runtime_, fs::perms::owner_all, fs::perm_options::replace);
    WriteFileBytes(dir_.file("registry.ini"),
                   "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Rk5Helper]\nPath=" + program_.string() +
                       "/\n[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\"
                       "Shell Folders]\nDesktop=" + desktop_.string() + "\nPrograms=" + menu_.string() + "\n");
    WriteFileBytes(program_ / "Local.ini", Catalogue());
    server_.Route("/Foo.zip", Ok(Archive()));
  }

  std::string Catalogue() const {
    return "[Foo]\r\nName=Foo Tool\r\nDL=http://tools.test/Foo.zip\r\nOBuild=2\r\nOExeName=foo\r\n"
           "OVersion=1.0\r\n[Bar]\r\nName=Bar\r\nPath=" + base_.string() + "/Bar/\r\nInstalled=1\r\n";
  }
  static std::string Archive(int extra = 0) {
    ZipBuilder zip;
    zip.Folder("Foo/").File("Foo/foo", "program").File("Foo/doc/readme.txt", "readme");
    std::mt19937 random(7);
    for (int i = 0; i < extra; ++i) {
      std::string data(2048, '\0');
      for (char& c : data) c = static_cast<char>(random());
      zip.Stored("Foo/d" + std::to_string(i % 20) + "/f" + std::to_string(i), data);
    }
    return zip.Bytes();
  }

  Copy Start(const QString& mode, const QString& section) {
    Copy copy;
    copy.process = std::make_unique<QProcess>();
    QProcessEnvironment env = x_.ProgramEnvironment();
    env.insert("RK5HELPER_REGISTRY", QString::fromStdString(dir_.file("registry.ini").string()));
    env.insert("XDG_RUNTIME_DIR", QString::fromStdString(runtime_.string()));
    env.insert("http_proxy", QString::fromStdString(server_.ProxyUrl()));
    env.remove("no_proxy");
    env.remove("NO_PROXY");
    copy.process->setProcessEnvironment(env);
    copy.process->start(QString::fromStdString((program_ / "rk5helper").string()), {mode, section});
    EXPECT_TRUE(copy.process->waitForStarted(10000));
    copy.pid = copy.process->processId();
    copy.window = OnDisplay("xdotool", {"search", "--sync", "--onlyvisible", "--pid", QString::number(copy.pid)});
    copy.window = copy.window.substr(0, copy.window.find('\n'));
    return copy;
  }

  std::string OnDisplay(const QString& program, const QStringList& arguments) {
    QProcess tool;
    tool.setProcessEnvironment(x_.ProgramEnvironment());
    tool.start(program, arguments);
    if (!tool.waitForFinished(20000)) {
      tool.kill();
      tool.waitForFinished();
    }
    return tool.readAllStandardOutput().trimmed().toStdString();
  }
  QImage PictureOf(const std::string& window) {
    const QString file = QString::fromStdString(dir_.file("picture.png").string());
    QFile::remove(file);
    OnDisplay(QString::fromStdString(std::string(RK5_TEST_BINARY_DIR) + "/tests/tool_window_picture"),
              {QString::fromStdString(window), file});
    return QImage(file).convertToFormat(QImage::Format_RGB32);
  }
  // Until a window of the copy says text (the question and the outcome are two windows);
  // that window is the copy's window from then on.
  bool Shows(Copy& copy, const std::string& text) {
    const QImage reference = Reference(text);
    return RunUntil([&] {
      const QString windows = QString::fromStdString(
          OnDisplay("xdotool", {"search", "--onlyvisible", "--pid", QString::number(copy.pid)}));
      for (const QString& window : windows.split('\n', Qt::SkipEmptyParts)) {
        const QImage now = PictureOf(window.toStdString());
        if (!now.isNull() && now.copy(kBand) == reference.copy(kBand) && now.copy(kText) == reference.copy(kText)) {
          copy.window = window.toStdString();
          return true;
        }
      }
      return false;
    });
  }
  ::testing::AssertionResult Press(Copy& copy, QPoint button) {
    x_.Click(copy.window, button.x(), button.y());
    if (copy.process->waitForFinished(20000) && copy.process->exitCode() == 0) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "the copy did not end cleanly: "
                                         << copy.process->readAllStandardError().toStdString();
  }

  // "/dl Foo" to its end; the base folder afterwards.
  void Install() {
    Copy copy = Start("/dl", "Foo");
    ASSERT_TRUE(RunUntil([&] { return Local().find("Installed=1") != std::string::npos; }));
    ASSERT_TRUE(Press(copy, kDownloadOk));
  }
  std::string Local() const { return ReadFileBytes(program_ / "Local.ini"); }
  // The base folder without what the program keeps beside itself in any case.
  TreeSnapshot Base() const {
    TreeSnapshot tree = SnapshotTree(base_);
    for (const char* kept : {"Helper/Local.ini", "Helper/Local.ini.lock", "Helper/Foo.zip"}) tree.erase(kept);
    return tree;
  }
  std::string Cleared() const {
    return Catalogue().insert(Catalogue().find("[Bar]"), "Build=\r\nPath=\r\nExeName=\r\nVersion=\r\nInstalled=\r\n");
  }

  XDisplay x_;
  HttpTestServer server_;
  TempDir dir_;
  fs::path base_ = dir_.path() / "opt" / "Rk5";
  fs::path program_ = base_ / "Helper";
  fs::path runtime_ = dir_.path() / "run";
  fs::path desktop_ = dir_.path() / "Desktop";
  fs::path menu_ = dir_.path() / "applications";
};

TEST_F(UninstallProcess, RemovesExactlyWhatTheInstallPlacedAndCountsWhatTheUserChanged) {
  fs::create_directories(base_ / "Bar");
  WriteFileBytes(base_ / "Bar/bar", "another tool");
  const TreeSnapshot before = Base();
  const std::string program = (program_ / "rk5helper").string();
  for (int round = 0; round < 2; ++round) {
    Install();
    WriteFileBytes(desktop_ / "Foo Tool.desktop", Launcher(program, "Foo"));
    WriteFileBytes(menu_ / "Foo Tool.desktop", Launcher(program, "Foo"));
    WriteFileBytes(desktop_ / "Other.desktop", Launcher(program, "Other"));
    if (round == 1) {
      WriteFileBytes(base_ / "Foo/doc/readme.txt", "changed by the user");
      WriteFileBytes(base_ / "Foo/doc/notes.txt", "added by the user");
    }
    Copy copy = Start("/uninstall", "Foo");
    ASSERT_TRUE(Shows(copy, UninstallQuestion("Foo Tool"))) << round;
    EXPECT_NE(Local().find("Installed=1"), std::string::npos) << "nothing before the answer";
    x_.Click(copy.window, kYes.x(), kYes.y());
    ASSERT_TRUE(Shows(copy, UninstalledText("Foo Tool", round == 0 ? 0 : 2))) << round;
    ASSERT_TRUE(Press(copy, kOk));
    EXPECT_EQ(Local(), Cleared()) << round;
    EXPECT_FALSE(fs::exists(desktop_ / "Foo Tool.desktop"));
    EXPECT_FALSE(fs::exists(menu_ / "Foo Tool.desktop"));
    EXPECT_TRUE(fs::exists(desktop_ / "Other.desktop")) << "only the launchers named like the tool";
    TreeSnapshot expected = before;
    if (round == 1) {
      expected["Foo"] = expected["Foo/doc"] = "folder";
      expected["Foo/doc/readme.txt"] = "file:changed by the user";
      expected["Foo/doc/notes.txt"] = "file:added by the user";
    }
    EXPECT_EQ(TreeDifference(expected, Base()), "") << round;
    WriteFileBytes(program_ / "Local.ini", Catalogue());
  }
  // Answered "No", or asked again once removed: nothing changes.
  fs::remove_all(base_ / "Foo");
  Install();
  const TreeSnapshot installed = Base();
  Copy declined = Start("/uninstall", "Foo");
  ASSERT_TRUE(Shows(declined, UninstallQuestion("Foo Tool")));
  ASSERT_TRUE(Press(declined, kOk));
  EXPECT_EQ(TreeDifference(installed, Base()), "");
  EXPECT_NE(Local().find("Installed=1"), std::string::npos);
}

TEST_F(UninstallProcess, RefusesWhatItCannotProveWithAMessageAndChangesNothing) {
  Install();
  const std::string manifest = ReadFileBytes(program_ / "Foo.manifest");
  const std::string digest = manifest.substr(manifest.find("file 7 ") + 7, 64);
  fs::create_directories(base_ / "Bar");
  WriteFileBytes(base_ / "Bar/bar", "program");  // same bytes as Foo/foo
  WriteFileBytes(dir_.file("outside"), "program");
  struct Case {
    const char* what;
    std::string section, manifest, says;
    bool asks;  // only the removal itself reads the list, after the question
  };
  const std::string line = "file 7 " + digest + " ";
  const std::string damaged = DamagedManifestText("Foo Tool");
  const std::vector<Case> cases = {
      {"a climb out of the base folder", "Foo", "rk5 manifest 1\n" + line + "Foo/../../../outside\nend\n", damaged, true},
      {"an absolute path", "Foo", "rk5 manifest 1\n" + line + dir_.file("outside").string() + "\nend\n", damaged, true},
      {"another tool's file", "Foo", "rk5 manifest 1\n" + line + "Bar/bar\n" + line + "Foo/foo\nend\n", damaged, true},
      {"the program folder", "Foo", "rk5 manifest 1\n" + line + "Helper/rk5helper\nend\n", damaged, true},
      {"a manifest cut short", "Foo", manifest.substr(0, manifest.size() - 4), damaged, true},
      {"64 MiB of lines", "Foo", std::string(64 << 20, '\n'), damaged, true},
      {"no manifest", "Foo", "", NoManifestText("Foo Tool"), false},
      {"a section with a slash", "Foo/../Foo", manifest, NotComponentText("Foo/../Foo"), false},
      {"a section of 10,000 bytes", std::string(10000, 'F'), manifest, NotInstalledText("<none>"), false},
  };
  for (const Case& c : cases) {
    if (c.manifest.empty()) {
      fs::remove(program_ / "Foo.manifest");
    } else {
      WriteFileBytes(program_ / "Foo.manifest", c.manifest);
    }
    const TreeSnapshot before = SnapshotTree(base_);
    Copy copy = Start("/uninstall", QString::fromStdString(c.section));
    if (c.asks) {
      ASSERT_TRUE(Shows(copy, UninstallQuestion("Foo Tool"))) << c.what;
      x_.Click(copy.window, kYes.x(), kYes.y());
    }
    ASSERT_TRUE(Shows(copy, c.says)) << c.what;
    ASSERT_TRUE(Press(copy, kOk)) << c.what;
    EXPECT_EQ(TreeDifference(before, SnapshotTree(base_)), "") << c.what;
    EXPECT_EQ(ReadFileBytes(dir_.file("outside")), "program") << c.what;
  }
}

TEST_F(UninstallProcess, EachOfDownloadAndUninstallRefusesWhileTheOtherRuns) {
  Install();
  // "/uninstall" waits at its question, holding the tool.
  Copy asking = Start("/uninstall", "Foo");
  ASSERT_TRUE(Shows(asking, UninstallQuestion("Foo Tool")));
  std::string outdated = Local();
  outdated.replace(outdated.find("OBuild=2"), 8, "OBuild=3");
  WriteFileBytes(program_ / "Local.ini", outdated);
  Copy download = Start("/dl", "FOO");  // the same tool in other letters
  // Refused at once: a download under way would carry the tool's name in its title.
  EXPECT_EQ(OnDisplay("xdotool", {"getwindowname", QString::fromStdString(download.window)}), "Rk5 Helper");
  ASSERT_TRUE(Press(download, kDownloadOk));
  EXPECT_EQ(server_.RequestCount(), 1u) << "the second download asked nothing";
  ASSERT_TRUE(Press(asking, kOk));

  // "/dl" holds the tool while the server holds its archive back.
  HttpReply held = Ok(Archive());
  held.fault = Fault::kGateAt;
  held.fault_at = 10;
  held.gate = "held";
  server_.Route("/Foo.zip", held);
  Copy downloading = Start("/dl", "Foo");
  ASSERT_TRUE(server_.WaitAtGate("held"));
  Copy refused = Start("/uninstall", "foo");
  ASSERT_TRUE(Shows(refused, ToolBusyText("Foo Tool")));
  ASSERT_TRUE(Press(refused, kOk));
  EXPECT_NE(Local().find("Installed=1"), std::string::npos);
  downloading.process->kill();
  downloading.process->waitForFinished();
  server_.OpenGate("held");
}

TEST_F(UninstallProcess, AKillAnywhereLeavesTheWholeToolOrNoneOfItAfterTheNextStart) {
  const TreeSnapshot empty = Base();
  server_.Route("/Foo.zip", Ok(Archive(1500)));
  Install();
  const TreeSnapshot installed = Base();
  const std::string installed_local = Local();
  const fs::path kept = dir_.path() / "kept";
  fs::create_directories(kept);
  fs::copy(base_ / "Foo", kept / "Foo", fs::copy_options::recursive);
  fs::copy_file(program_ / "Foo.manifest", kept / "Foo.manifest");

  // How long a whole uninstall takes bounds the moments of the kills.
  std::chrono::milliseconds whole{};
  {
    Copy copy = Start("/uninstall", "Foo");
    ASSERT_TRUE(Shows(copy, UninstallQuestion("Foo Tool")));
    const auto asked = Clock::now();
    x_.Click(copy.window, kYes.x(), kYes.y());
    ASSERT_TRUE(RunUntil([&] { return !fs::exists(base_ / "Foo"); }));
    whole = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - asked);
    ASSERT_TRUE(Shows(copy, UninstalledText("Foo Tool", 0)));
    ASSERT_TRUE(Press(copy, kOk));
  }
  std::mt19937 random(std::random_device{}());
  int whole_tool = 0, none = 0, killed_in_moves = 0;
  for (int round = 0; round < 16; ++round) {
    fs::remove_all(base_ / "Foo");
    fs::copy(kept / "Foo", base_ / "Foo", fs::copy_options::recursive | fs::copy_options::create_hard_links);
    fs::copy_file(kept / "Foo.manifest", program_ / "Foo.manifest", fs::copy_options::overwrite_existing);
    WriteFileBytes(program_ / "Local.ini", installed_local);
    ASSERT_EQ(TreeDifference(installed, Base()), "");
    Copy copy = Start("/uninstall", "Foo");
    ASSERT_TRUE(Shows(copy, UninstallQuestion("Foo Tool")));
    // Clicked without waiting for the click tool: the uninstall runs while it ends.
    QProcess click;
    click.setProcessEnvironment(x_.ProgramEnvironment());
    click.start("xdotool", {"mousemove", "--window", QString::fromStdString(copy.window), QString::number(kYes.x()),
                            QString::number(kYes.y()), "click", "1"});
    const fs::path journal = base_ / (".rk5-remove.Foo." + std::to_string(copy.pid)) / "journal";
    if (round % 2 == 0) {
      // A random moment of the whole uninstall (not a wait for anything).
      std::this_thread::sleep_for(std::chrono::milliseconds(random() % (whole.count() + 1)));
    } else {
      // Somewhere in the moves: they begin when the journal is written.
      const auto limit = Clock::now() + std::chrono::seconds(20);
      while (!fs::exists(journal) && Local() == installed_local && Clock::now() < limit) {
      }
      std::this_thread::sleep_for(std::chrono::microseconds(random() % 10000));
    }
    ::kill(static_cast<pid_t>(copy.pid), SIGKILL);
    copy.process->waitForFinished(20000);
    click.waitForFinished(20000);
    if (fs::exists(journal)) ++killed_in_moves;

    // The next start repairs before it shows anything.
    Copy next = Start("/uninstall", "Foo");
    ASSERT_FALSE(next.window.empty());
    if (Local() == installed_local) {
      ++whole_tool;
      EXPECT_EQ(TreeDifference(installed, Base()), "") << "round " << round;
    } else {
      ++none;
      EXPECT_EQ(Local(), Cleared()) << "round " << round;
      EXPECT_EQ(TreeDifference(empty, Base()), "") << "round " << round;
    }
    next.process->kill();
    next.process->waitForFinished(20000);
  }
  EXPECT_GT(killed_in_moves, 0);
  std::cout << "killed rounds: " << whole_tool << " whole, " << none << " removed, " << killed_in_moves
            << " during the moves\n";
}

}  // namespace
}  // namespace rk5::test
