// Installing a tool through the real executable: a scratch program folder with its own
// registry file and runtime folder, the loopback test server reached through http_proxy,
// and the windows on a private X display, watched and clicked as a user would.
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QProcess>
#include <QProcessEnvironment>
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <iostream>
#include <filesystem>
#include <random>
#include <thread>

#include "gui/download/download_window.h"
#include "scratch_marks.h"
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

// Where the windows of a download copy have their parts, in window coordinates.
const QRect kCaptionBand(0, 0, 200, 24);  // left of the close button
const QRect kStatusLine(16, 58, 265, 13);  // lab
const QPoint kDownloadButton(216 + 32, 84 + 10);
const QPoint kMessageButton(176 + 32, 76 + 10);

// The in-process window in its Busy look ("Rk5 Helper" in the band, "OK"), showing text
// in its status line: what the real program's window must look like in a final state.
QImage ReferencePicture(const std::string& status) {
  TempDir scratch;
  WriteFileBytes(scratch.file("Local.ini"), "[Foo]\nName=Foo Tool\nOBuild=2\n");
  ScratchMarks marks;
  marks.HoldElsewhere("rk5helper", "Foo");
  RunState run;
  run.ProgramFolder = scratch.folder();
  TDownload window(run, "Foo", {marks, InstallPlatform::ThisSystem(), ArchivePlatform::ThisSystem()},
                   "rk5helper", {});
  window.lab()->setText(QString::fromStdString(status));
  window.show();
  return window.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

bool SameIn(const QImage& a, const QImage& b, const QRect& part) {
  return !a.isNull() && !b.isNull() && a.copy(part) == b.copy(part);
}

class DownloadProcess : public ::testing::Test {
 protected:
  struct Copy {
    std::unique_ptr<QProcess> process;
    long long pid = 0;
  };

  void SetUp() override {
    ASSERT_FALSE(x_.Name().empty()) << "Xvfb did not start";
    fs::create_directories(program_);
    fs::copy_file(RK5_HELPER_EXE, program_ / "rk5helper");
    fs::create_directories(runtime_);
    fs::permissions(runtime_, fs::perms::owner_all, fs::perm_options::replace);
    WriteFileBytes(dir_.file("registry.ini"),
                   "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Rk5Helper]\nPath=" + program_.string() + "/\n");
    // The INI engine's lock file, as an earlier write leaves it.
    WriteFileBytes(program_ / "Local.ini.lock", "");
  }

  Copy Start(const std::string& section) {
    Copy copy;
    copy.process = std::make_unique<QProcess>();
    QProcessEnvironment env = x_.ProgramEnvironment();
    env.insert("RK5HELPER_REGISTRY", QString::fromStdString(dir_.file("registry.ini").string()));
    env.insert("XDG_RUNTIME_DIR", QString::fromStdString(runtime_.string()));
    env.insert("http_proxy", QString::fromStdString(server_.ProxyUrl()));
    env.remove("no_proxy");
    env.remove("NO_PROXY");
    copy.process->setProcessEnvironment(env);
    copy.process->start(QString::fromStdString((program_ / "rk5helper").string()),
                        {"/dl", QString::fromStdString(section)});
    EXPECT_TRUE(copy.process->waitForStarted(10000));
    copy.pid = copy.process->processId();
    return copy;
  }

  // Output of a command run against the private display.
  std::string OnDisplay(const QString& program, const QStringList& arguments, int limit_ms = 30000) {
    QProcess tool;
    tool.setProcessEnvironment(x_.ProgramEnvironment());
    tool.start(program, arguments);
    if (!tool.waitForFinished(limit_ms)) {
      tool.kill();
      tool.waitForFinished();
    }
    return tool.readAllStandardOutput().trimmed().toStdString();
  }

  // The copy's first visible window, once it has one; empty after the hang guard.
  std::string WindowOf(const Copy& copy) { return x_.WaitForWindow(copy.pid); }
  std::string NameOf(const std::string& window) {
    return OnDisplay("xdotool", {"getwindowname", QString::fromStdString(window)});
  }
  QImage PictureOf(const std::string& window) {
    const QString file = QString::fromStdString(dir_.file("picture.png").string());
    QFile::remove(file);
    OnDisplay(QString::fromStdString(std::string(RK5_TEST_BINARY_DIR) + "/tests/tool_window_picture"),
              {QString::fromStdString(window), file});
    return QImage(file).convertToFormat(QImage::Format_RGB32);
  }
  // Until the window's caption band and status line look like the reference.
  bool WaitUntilItShows(const std::string& window, const QImage& reference,
                        bool with_status_line = true) {
    return RunUntil([&] {
      const QImage now = PictureOf(window);
      return SameIn(now, reference, kCaptionBand) &&
             (!with_status_line || SameIn(now, reference, kStatusLine));
    });
  }
  // Presses the window's button the way a user does; the run must end with code 0.
  // A failure tells how the run ended and what it printed.
  ::testing::AssertionResult PressAndEnd(Copy& copy, const std::string& window, QPoint button) {
    x_.Click(window, button.x(), button.y());
    QProcess& run = *copy.process;
    const bool ended = run.state() == QProcess::NotRunning || run.waitForFinished(20000);
    if (ended && run.exitStatus() == QProcess::NormalExit && run.exitCode() == 0) {
      return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure()
           << (ended ? "ended" : "still running") << ", crashed: " << (run.exitStatus() != QProcess::NormalExit)
           << ", code " << run.exitCode() << ", " << run.errorString().toStdString() << "; it printed:\n"
           << run.readAllStandardError().toStdString() << run.readAllStandardOutput().toStdString();
  }
  static void Kill(Copy& copy) {
    copy.process->kill();
    copy.process->waitForFinished(20000);
  }

  std::string Local() const { return ReadFileBytes(program_ / "Local.ini"); }
  void WriteLocal(const std::string& text) { WriteFileBytes(program_ / "Local.ini", text); }

  // The old installation of Foo, recorded in "Local.ini" as build 3.
  void InstallOldFoo() {
    fs::remove_all(base_ / "Foo");
    fs::create_directories(base_ / "Foo/doc");
    WriteFileBytes(base_ / "Foo/foo", "old program");
    WriteFileBytes(base_ / "Foo/doc/readme.txt", "old readme");
    WriteFileBytes(base_ / "Foo/settings.cfg", "kept by the user");
    WriteLocal(OldLocal());
  }
  static std::string Replaced(std::string text, const std::string& from, const std::string& to) {
    const std::size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
  }
  std::string OldLocal() const {
    return "[Foo]\r\nName=Foo Tool\r\nDL=http://tools.test/Foo.zip\r\nOBuild=007\r\nOExeName=foo\r\n"
           "OVersion=2.0\r\nBuild=3\r\nPath=" + base_.string() + "/Foo/\r\nExeName=foo\r\n"
           "Version=1.0\r\nInstalled=1\r\n";
  }
  std::string NewLocal() const {
    return "[Foo]\r\nName=Foo Tool\r\nDL=http://tools.test/Foo.zip\r\nOBuild=007\r\nOExeName=foo\r\n"
           "OVersion=2.0\r\nBuild=007\r\nPath=" + base_.string() + "/Foo/\r\nExeName=foo\r\n"
           "Version=2.0\r\nInstalled=1\r\n";
  }
  static ZipBuilder NewFoo() {
    return ZipBuilder()
        .Folder("Foo/")
        .File("Foo/foo", "new program")
        .File("Foo/doc/readme.txt", "new readme")
        .File("Foo/bin/lib.so", std::string(20000, 'l'));
  }
  // Everything under the base folder that an installation may touch: the archive left
  // beside the program is not part of it, nor the one download that may be under way
  // (killed downloads' leftovers are, so they cannot pile up).
  TreeSnapshot Installation() const {
    TreeSnapshot tree = SnapshotTree(base_);
    tree.erase("Helper/Foo.zip");
    int under_way = 0;
    for (auto it = tree.begin(); it != tree.end();) {
      if (it->first.rfind("Helper/Foo.zip.tmp-", 0) == 0 && under_way++ == 0) {
        it = tree.erase(it);
      } else {
        ++it;
      }
    }
    return tree;
  }

  XDisplay x_;
  HttpTestServer server_;
  TempDir dir_;
  fs::path base_ = dir_.path() / "opt" / "Rk5";
  fs::path program_ = base_ / "Helper";
  fs::path runtime_ = dir_.path() / "run";
};

TEST_F(DownloadProcess, InstallsAToolEndToEndAndThenFindsItUpToDate) {
  const std::string zip = NewFoo().Bytes();
  server_.Route("/Foo.zip", Ok(zip));
  InstallOldFoo();
  WriteFileBytes(program_ / "Foo.zip", "left by an earlier attempt");
  const QImage installed = ReferencePicture("Foo Tool has been installed!");

  Copy copy = Start("Foo");
  const std::string window = WindowOf(copy);
  ASSERT_FALSE(window.empty());
  ASSERT_TRUE(WaitUntilItShows(window, installed));
  EXPECT_EQ(NameOf(window), "Downloading Foo Tool");  // the task bar keeps the download's title
  EXPECT_EQ(Local(), NewLocal());
  EXPECT_EQ(ReadFileBytes(base_ / "Foo/foo"), "new program");
  EXPECT_EQ(ReadFileBytes(base_ / "Foo/doc/readme.txt"), "new readme");
  EXPECT_EQ(ReadFileBytes(base_ / "Foo/bin/lib.so"), std::string(20000, 'l'));
  EXPECT_EQ(ReadFileBytes(base_ / "Foo/settings.cfg"), "kept by the user");
  EXPECT_EQ(ReadFileBytes(program_ / "Foo.zip"), zip);
  for (const auto& entry : fs::directory_iterator(base_)) {
    EXPECT_EQ(entry.path().filename().string().rfind(".rk5-stage", 0), std::string::npos);
  }
  ASSERT_TRUE(PressAndEnd(copy, window, kDownloadButton));

  // Build 007 is installed now: the next start refuses without asking the server.
  Copy again = Start("Foo");
  const std::string message = WindowOf(again);
  EXPECT_EQ(NameOf(message), "Rk5 Helper");
  ASSERT_TRUE(PressAndEnd(again, message, kMessageButton));
  EXPECT_EQ(server_.RequestCount(), 1u);
  EXPECT_EQ(Local(), NewLocal());
}

TEST_F(DownloadProcess, EntriesAreUnpackedWhileTheArchiveArrivesAndRecordedOnlyAfter) {
  std::string noise(200000, '\0');
  std::mt19937 random(7);
  for (char& c : noise) c = static_cast<char>(random());
  // Stored noise, so that the fetch writes the first file out long before the last byte.
  const std::string zip =
      NewFoo().Stored("Foo/big.bin", noise).Stored("Foo/more.bin", noise.substr(0, 100000)).Bytes();
  HttpReply held = Ok(zip);
  held.fault = Fault::kGateAt;
  held.gate = "directory";
  held.fault_at = ListCentralDirectory(zip).front().central_offset;
  server_.Route("/Foo.zip", held);
  InstallOldFoo();
  const std::string before = Local();

  Copy copy = Start("Foo");
  ASSERT_TRUE(server_.WaitAtGate("directory"));
  const fs::path early = base_ / (".rk5-stage.Foo." + std::to_string(copy.pid)) / "new/Foo/big.bin";
  ASSERT_TRUE(RunUntil([&] { return fs::exists(early); })) << "unpacked before the central directory came";
  EXPECT_EQ(ReadFileBytes(early), noise);
  EXPECT_EQ(Local(), before);
  server_.OpenGate("directory");
  ASSERT_TRUE(RunUntil([&] { return Local() == NewLocal(); }));
  EXPECT_EQ(ReadFileBytes(base_ / "Foo/big.bin"), noise);
  EXPECT_EQ(ReadFileBytes(base_ / "Foo/foo"), "new program");
  ASSERT_TRUE(PressAndEnd(copy, WindowOf(copy), kDownloadButton));
}

TEST_F(DownloadProcess, UpToDateAndUnknownToolsAreRefusedWithoutARequest) {
  WriteLocal("[Foo]\r\nName=Foo Tool\r\nDL=http://tools.test/Foo.zip\r\nOBuild=3\r\nBuild=3\r\n");
  WriteFileBytes(program_ / "Foo.zip", "kept");
  for (const char* section : {"Foo", "Unknown", "../../x"}) {
    Copy copy = Start(section);
    const std::string window = WindowOf(copy);
    ASSERT_FALSE(window.empty()) << section;
    EXPECT_EQ(NameOf(window), "Rk5 Helper") << section;
    const std::string size = OnDisplay("xdotool", {"getwindowgeometry", QString::fromStdString(window)});
    EXPECT_NE(size.find("256x111"), std::string::npos) << "the message window: " << size;
    ASSERT_TRUE(PressAndEnd(copy, window, kMessageButton)) << section;
  }
  EXPECT_EQ(server_.RequestCount(), 0u);
  EXPECT_EQ(ReadFileBytes(program_ / "Foo.zip"), "kept");
}

TEST_F(DownloadProcess, ASecondCopyIsRefusedWhileTheFirstWorksAndNotAfter) {
  HttpReply held = Ok(NewFoo().Bytes());
  held.fault = Fault::kGateAt;
  held.fault_at = 10;
  held.gate = "first";
  server_.Route("/Foo.zip", held);
  InstallOldFoo();
  Copy first = Start("Foo");
  const std::string first_window = WindowOf(first);
  ASSERT_TRUE(server_.WaitAtGate("first"));

  Copy second = Start("FOO");  // the same tool in other letters
  const std::string second_window = WindowOf(second);
  ASSERT_TRUE(WaitUntilItShows(second_window, ReferencePicture("This file is alerdy being downloaded")));
  ASSERT_TRUE(PressAndEnd(second, second_window, kDownloadButton));
  EXPECT_EQ(server_.RequestCount(), 1u);

  // Cancel ends the first copy; a new start then downloads again.
  ASSERT_TRUE(PressAndEnd(first, first_window, kDownloadButton));
  server_.OpenGate("first");
  HttpReply whole = Ok(NewFoo().Bytes());
  server_.Route("/Foo.zip", whole);
  Copy third = Start("Foo");
  const std::string third_window = WindowOf(third);
  ASSERT_TRUE(WaitUntilItShows(third_window, ReferencePicture("Foo Tool has been installed!")));
  EXPECT_EQ(server_.RequestCount(), 2u);
  EXPECT_EQ(Local(), NewLocal());
  ASSERT_TRUE(PressAndEnd(third, third_window, kDownloadButton));
}

TEST_F(DownloadProcess, TenCopiesStartedAtOnceMakeOneRequest) {
  HttpReply held = Ok(NewFoo().Bytes());
  held.fault = Fault::kGateAt;
  held.fault_at = 10;
  held.gate = "all";
  server_.Route("/Foo.zip", held);
  InstallOldFoo();
  std::vector<Copy> copies;
  for (int i = 0; i < 10; ++i) copies.push_back(Start("Foo"));
  int downloading = 0, refused = 0;
  for (Copy& copy : copies) {
    const std::string name = NameOf(WindowOf(copy));
    if (name == "Downloading Foo Tool") ++downloading;
    if (name == "Rk5 Helper") ++refused;
  }
  EXPECT_EQ(downloading, 1);
  EXPECT_EQ(refused, 9);
  EXPECT_TRUE(server_.WaitForRequests(1));
  EXPECT_EQ(server_.RequestCount(), 1u);
  for (Copy& copy : copies) Kill(copy);
  server_.OpenGate("all");
  EXPECT_EQ(Local(), OldLocal());
}

TEST_F(DownloadProcess, EveryFailedDownloadOrInstallLeavesTheOldInstallationByteForByte) {
  std::string damaged = NewFoo().Bytes();
  DamageData(damaged, "Foo/bin/lib.so");
  std::string truncated = NewFoo().Bytes();
  truncated.resize(truncated.size() - 30);
  HttpReply cut = Ok(NewFoo().Bytes());
  cut.fault = Fault::kCloseAt;
  cut.fault_at = 100;
  HttpReply hang_up;
  hang_up.fault = Fault::kHangUp;
  // Unpacked while it arrives under its local name, refused by its directory name.
  std::string outside_in_directory = ZipBuilder().File("Foo/foo", "x").File("../../x", "x").Bytes();
  PatchLocalName(outside_in_directory, "../../x", "Foo/bar");
  const std::string digest_key =
      "SHA256=00000000000000000000000000000000000000000000000000000000000000aa\r\n";
  struct Case {
    const char* what;
    HttpReply reply;
    std::function<void()> prepare;
  };
  std::vector<Case> cases = {
      {"no reply at all", hang_up, {}},
      {"a reply without a length", WithoutLength(NewFoo().Bytes()), {}},
      {"a body shorter than announced", cut, {}},
      {"an archive file that cannot be written", Ok(NewFoo().Bytes()),
       [this] { fs::create_directories(program_ / "Foo.zip/in-the-way"); }},
      {"a DL of <none>", Ok(NewFoo().Bytes()),
       [this] { WriteLocal(Replaced(OldLocal(), "DL=http://tools.test/Foo.zip", "DL=<none>")); }},
      {"an error page", Ok("<html><body>404 Not Found</body></html>"), {}},
      {"a truncated archive", Ok(truncated), {}},
      {"damaged data", Ok(damaged), {}},
      {"another digest than the key's", Ok(NewFoo().Bytes()),
       [&] { WriteLocal(OldLocal() + digest_key); }},
      {"a name outside the base folder", Ok(ZipBuilder().File("Foo/foo", "x").File("../../x", "x").Bytes()), {}},
      {"a name outside the base folder that its local header hides", Ok(outside_in_directory), {}},
      {"a file where a folder is", Ok(NewFoo().Bytes()),
       [this] { WriteFileBytes(base_ / "Foo/bin", "a file named like the new folder"); }},
  };
  const QImage final_look = ReferencePicture("");
  for (Case& c : cases) {
    InstallOldFoo();
    fs::remove_all(program_ / "Foo.zip");
    fs::remove_all(base_ / "Foo/bin");
    if (c.prepare) c.prepare();
    server_.Route("/Foo.zip", c.reply);
    const TreeSnapshot before = Installation();
    Copy copy = Start("Foo");
    const std::string window = WindowOf(copy);
    ASSERT_FALSE(window.empty()) << c.what;
    // Wait for the window's final look ("Rk5 Helper" in the band), then compare.
    ASSERT_TRUE(WaitUntilItShows(window, final_look, false)) << c.what;
    EXPECT_EQ(TreeDifference(before, Installation()), "") << c.what;
    ASSERT_TRUE(PressAndEnd(copy, window, kDownloadButton)) << c.what;
  }
}

// An archive big enough that unpacking and the final moves each take a while.
std::string ManyFiles(int count, const std::string& tag) {
  ZipBuilder zip;
  std::mt19937 random(7);
  for (int i = 0; i < count; ++i) {
    std::string data(2048, '\0');
    for (char& c : data) c = static_cast<char>(random());
    zip.Stored("Foo/d" + std::to_string(i % 30) + "/f" + std::to_string(i), tag + data);
  }
  return zip.Bytes();
}

TEST_F(DownloadProcess, ACopyKilledAnywhereLeavesTheOldOrTheNewInstallationAfterTheNextStart) {
  constexpr int kFiles = 400;
  const std::string old_zip = ManyFiles(kFiles, "old");
  const std::string new_zip = ManyFiles(kFiles, "new");
  // The old installation, made by the program itself; how long its install took bounds
  // the moments the copies below are killed at.
  std::chrono::milliseconds whole_install{};
  fs::remove_all(base_ / "Foo");
  WriteLocal("[Foo]\r\nName=Foo Tool\r\nDL=http://tools.test/Foo.zip\r\nOBuild=2\r\n");
  server_.Route("/Foo.zip", Ok(old_zip));
  {
    Copy copy = Start("Foo");
    ASSERT_TRUE(server_.WaitForRequests(1));
    const auto asked = Clock::now();
    ASSERT_TRUE(RunUntil([&] { return Local().find("Installed=1") != std::string::npos; }));
    whole_install = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - asked);
    ASSERT_TRUE(PressAndEnd(copy, WindowOf(copy), kDownloadButton));
  }
  const fs::path kept = dir_.path() / "kept";
  fs::copy(base_ / "Foo", kept, fs::copy_options::recursive);
  // The catalogue announces the next build.
  const std::string outdated = Replaced(Local(), "OBuild=2", "OBuild=3");

  std::mt19937 random(std::random_device{}());
  int undone = 0, finished = 0, killed_in_moves = 0;
  for (int round = 0; round < 16; ++round) {
    // Back to the old installation, with a newer build announced. The program never
    // writes into an existing file, so links to one kept copy restore it quickly.
    fs::remove_all(base_ / "Foo");
    fs::copy(kept, base_ / "Foo", fs::copy_options::recursive | fs::copy_options::create_hard_links);
    WriteLocal(outdated);
    const TreeSnapshot before = Installation();
    server_.Route("/Foo.zip", Ok(new_zip));
    const std::size_t requests = server_.RequestCount();
    Copy copy = Start("Foo");
    ASSERT_TRUE(server_.WaitForRequests(requests + 1));
    const fs::path journal = base_ / (".rk5-stage.Foo." + std::to_string(copy.pid)) / "journal";
    if (round % 2 == 0) {
      // A random moment of the whole installation (not a wait for anything).
      std::this_thread::sleep_for(std::chrono::milliseconds(random() % (whole_install.count() + 1)));
    } else {
      // Somewhere in the final moves: they begin when the journal is written.
      const auto limit = Clock::now() + std::chrono::seconds(20);
      while (!fs::exists(journal) && copy.process->state() == QProcess::Running &&
             Clock::now() < limit) {
      }
      std::this_thread::sleep_for(std::chrono::microseconds(random() % 40000));
    }
    ::kill(static_cast<pid_t>(copy.pid), SIGKILL);
    copy.process->waitForFinished(20000);
    if (fs::exists(journal)) ++killed_in_moves;

    // The next start puts things right before anything else; it then either finds the
    // tool up to date or downloads again, which the server holds back.
    HttpReply held = Ok(new_zip);
    held.fault = Fault::kGateAt;
    held.gate = "round" + std::to_string(round);
    server_.Route("/Foo.zip", held);
    Copy next = Start("Foo");
    // Its window shows once the repair is over.
    const std::string window = WindowOf(next);
    ASSERT_FALSE(window.empty()) << "round " << round;
    const std::string name = NameOf(window);
    const TreeSnapshot after = Installation();
    const auto staged = std::find_if(after.begin(), after.end(), [](const auto& item) {
      return item.first.find(".rk5-stage") != std::string::npos;
    });
    EXPECT_TRUE(staged == after.end()) << "round " << round << ": " << staged->first;
    if (name == "Rk5 Helper") {
      ++finished;  // up to date: the new installation is whole and recorded
      EXPECT_EQ(Local(), Replaced(outdated, "Build=2", "Build=3")) << "round " << round;
      for (const auto& [path, entry] : after) {
        if (path.rfind("Foo/d", 0) == 0 && entry != "folder") {
          ASSERT_EQ(entry.substr(0, 8), "file:new") << "round " << round << ": " << path;
        }
      }
      EXPECT_EQ(after.size(), before.size()) << "round " << round;
    } else {
      ++undone;
      EXPECT_EQ(name, "Downloading Foo Tool");
      EXPECT_EQ(TreeDifference(before, after), "") << "round " << round;
    }
    Kill(next);
    server_.OpenGate(held.gate);
  }
  EXPECT_GT(killed_in_moves, 0);
  std::cout << "killed rounds: " << undone << " undone, " << finished << " finished, "
            << killed_in_moves << " during the final moves\n";
}

}  // namespace
}  // namespace rk5::test
