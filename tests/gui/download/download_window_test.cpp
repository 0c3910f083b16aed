// The download window in each state of its table, on the offscreen platform, through the
// real fetch component, extractor and file system against the loopback test server.
#include <QApplication>
#include <QCryptographicHash>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

#include "gui/download/download_window.h"
#include "net/http_fetch.h"
#include "install/scratch_marks.h"
#include "support/alert_catcher.h"
#include "support/event_wait.h"
#include "support/http_test_server.h"
#include "support/temp_dir.h"
#include "support/tree_snapshot.h"
#include "support/zip_builder.h"
#include "gui/gauge/gauge.h"

namespace rk5::test {
namespace {

namespace fs = std::filesystem;

// What the user sees of the window.
struct Look {
  std::string title, app_title, lab, lab2, button;
  bool lab_shown = false, lab2_shown = false, gauge_shown = false, button_enabled = false;
  int gauge_max = 0, gauge_progress = 0;

  static Look Of(const TDownload& w) {
    Look look;
    look.title = w.windowTitle().toStdString();
    look.app_title = TextOf(w.Title()).toStdString();
    look.lab = w.lab()->text().toStdString();
    look.lab2 = w.lab2()->text().toStdString();
    look.button = w.btnDl()->text().toStdString();
    look.lab_shown = w.lab()->isVisible();
    look.lab2_shown = w.lab2()->isVisible();
    look.gauge_shown = w.ProgressBar()->isVisible();
    look.button_enabled = w.btnDl()->isEnabled();
    look.gauge_max = w.ProgressBar()->MaxValue();
    look.gauge_progress = w.ProgressBar()->Progress();
    return look;
  }
};

// Answers the toolkit's message boxes: records title and text, then closes them.
class MessageBoxCatcher {
 public:
  MessageBoxCatcher() {
    timer_.setInterval(10);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      for (QWidget* window : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(window);
        if (box == nullptr || !box->isVisible()) continue;
        seen.push_back({box->windowTitle().toStdString(), box->text().toStdString(),
                        box->icon() == QMessageBox::Critical});
        box->accept();
      }
    });
    timer_.start();
  }
  struct Box {
    std::string title, text;
    bool critical;
  };
  std::vector<Box> seen;

 private:
  QTimer timer_;
};

class DownloadWindow : public ::testing::Test {
 protected:
  DownloadWindow()
      : proxy_("http_proxy", server_.ProxyUrl()),
        no_proxy_("no_proxy", std::nullopt),
        no_proxy_upper_("NO_PROXY", std::nullopt) {
    fs::create_directories(program_);
    QGuiApplication::setApplicationDisplayName(QStringLiteral("rk5helper"));
  }

  void WriteLocal(const std::string& text) { WriteFileBytes(program_ / "Local.ini", text); }
  std::string Local() const { return ReadFileBytes(program_ / "Local.ini"); }

  std::unique_ptr<TDownload> Open(const std::string& section) {
    RunState state;
    state.RunMode = "/dl";
    state.ProgramFolder = program_.string() + "/";
    DownloadServices services{marks_, InstallPlatform::ThisSystem(), ArchivePlatform::ThisSystem()};
    auto window = std::make_unique<TDownload>(state, section, services, "rk5helper",
                                              [this] { ++ended_; }, WindowSetup{.Title = &title_});
    if (ended_ == 0) window->show();
    return window;
  }

  static std::string Tool() {
    return ZipBuilder().Folder("Foo/").File("Foo/foo", "program").File("Foo/README", "r").Bytes();
  }

  HttpTestServer server_;
  EnvOverride proxy_, no_proxy_, no_proxy_upper_;
  TempDir dir_;
  fs::path base_ = dir_.path() / "Rk5";
  fs::path program_ = base_ / "Helper";
  ScratchMarks marks_;
  AlertCatcher alerts_;
  int ended_ = 0;
  RunTitle title_;  // the run's title, which the window changes while it downloads
  const std::string local_ =
      "[Foo]\r\nName=Foo Tool\r\nDL=http://tools.test/Foo.zip\r\nOBuild=007\r\nBuild=3\r\n"
      "OExeName=foo\r\nOVersion=1.5\r\n";
};

TEST_F(DownloadWindow, DownloadingInstallingInstalled) {
  const std::string zip = Tool();
  HttpReply reply = Ok(zip);
  reply.fault = Fault::kGateAt;
  reply.fault_at = 40;
  reply.gate = "rest";
  server_.Route("/Foo.zip", reply);
  WriteLocal(local_);
  WriteFileBytes(program_ / "Foo.zip", "left by an earlier attempt");
  auto w = Open("Foo");

  // Downloading, before the first chunk.
  Look start = Look::Of(*w);
  EXPECT_EQ(start.title, "Downloading Foo Tool");
  EXPECT_EQ(start.app_title, "Downloading Foo Tool");
  EXPECT_EQ(start.lab, "Downloding...");
  EXPECT_TRUE(start.lab_shown);
  EXPECT_FALSE(start.gauge_shown);
  EXPECT_FALSE(start.lab2_shown);
  EXPECT_EQ(start.button, "Cancel");
  EXPECT_TRUE(start.button_enabled);
  EXPECT_TRUE(marks_.IsHeld("rk5helper", "FOO"));
  EXPECT_FALSE(fs::exists(program_ / "Foo.zip")) << "the old archive goes first";

  // Downloading, after a chunk: bytes received of the announced size.
  ASSERT_TRUE(server_.WaitAtGate("rest"));
  ASSERT_TRUE(RunUntil([&] { return w->ProgressBar()->isVisible(); }));
  Look part = Look::Of(*w);
  EXPECT_FALSE(part.lab_shown);
  EXPECT_EQ(part.gauge_max, static_cast<int>(zip.size()));
  EXPECT_GT(part.gauge_progress, 0);
  EXPECT_LT(part.gauge_progress, static_cast<int>(zip.size()));

  // Installing: every unpacking report, as the window shows it right after.
  std::vector<Look> installing;
  w->UnZip().OnArchiveProgress = [&](TArchiveExtractor& sender, std::uint8_t p, bool& abort) {
    w->UnZipArchiveProgress(sender, p, abort);
    installing.push_back(Look::Of(*w));
  };
  server_.OpenGate("rest");
  ASSERT_TRUE(RunUntil([&] { return w->lab()->text().endsWith("installed!"); }));
  ASSERT_EQ(installing.size(), 4u);
  std::vector<int> percentages;
  for (const Look& look : installing) {
    percentages.push_back(look.gauge_progress);
    EXPECT_EQ(look.gauge_max, 100);
    EXPECT_TRUE(look.gauge_shown && look.lab2_shown && !look.lab_shown);
    EXPECT_EQ(look.lab2, "Installing.....");
    EXPECT_EQ(look.button, "Cancel");
    EXPECT_FALSE(look.button_enabled);
    EXPECT_EQ(look.title, "Downloading Foo Tool");
  }
  EXPECT_EQ(percentages, (std::vector<int>{33, 66, 100, 100}));

  Look done = Look::Of(*w);
  EXPECT_EQ(done.lab, "Foo Tool has been installed!");
  EXPECT_TRUE(done.lab_shown);
  EXPECT_FALSE(done.lab2_shown);
  EXPECT_FALSE(done.gauge_shown);
  EXPECT_EQ(done.button, "OK");
  EXPECT_TRUE(done.button_enabled);
  EXPECT_EQ(done.title, "Rk5 Helper");
  EXPECT_EQ(done.app_title, "Downloading Foo Tool");
  EXPECT_EQ(ReadFileBytes(base_ / "Foo/foo"), "program");
  EXPECT_EQ(ReadFileBytes(program_ / "Foo.zip"), zip);
  EXPECT_EQ(Local(), "[Foo]\r\nName=Foo Tool\r\nDL=http://tools.test/Foo.zip\r\nOBuild=007\r\n"
                     "Build=007\r\nOExeName=foo\r\nOVersion=1.5\r\nPath=" + base_.string() +
                     "/Foo/\r\nExeName=foo\r\nVersion=1.5\r\nInstalled=1\r\n");
  ASSERT_EQ(server_.RequestCount(), 1u);
  EXPECT_EQ(server_.Requests()[0].Header("User-Agent"), "Corvane HttpFetch");

  // A second copy is refused while this window is open; OK ends it and lets go.
  EXPECT_TRUE(marks_.IsHeld("rk5helper", "Foo"));
  w->btnDl()->click();
  EXPECT_FALSE(w->isVisible());
  w.reset();
  EXPECT_FALSE(marks_.IsHeld("rk5helper", "Foo"));
}

TEST_F(DownloadWindow, FailedDownloadsKeepTheGaugeAsItWasAndRecordNothing) {
  WriteLocal(local_);
  server_.Route("/Foo.zip", WithoutLength(Tool()));
  auto w = Open("Foo");
  ASSERT_TRUE(RunUntil([&] { return w->lab()->text() == "Error while downloading file!"; }));
  Look failed = Look::Of(*w);
  EXPECT_TRUE(failed.lab_shown);
  EXPECT_FALSE(failed.lab2_shown);
  EXPECT_FALSE(failed.gauge_shown);
  EXPECT_EQ(failed.button, "OK");
  EXPECT_TRUE(failed.button_enabled);
  EXPECT_EQ(failed.title, "Rk5 Helper");
  EXPECT_EQ(Local(), local_);
  w.reset();

  // Cut off half-way: the label is drawn over the partly filled gauge.
  HttpReply cut = Ok(std::string(100000, 'z'));
  cut.fault = Fault::kCloseAt;
  cut.fault_at = 30000;
  server_.Route("/Foo.zip", cut);
  w = Open("Foo");
  ASSERT_TRUE(RunUntil([&] { return w->lab()->text() == "Error while downloading file!"; }));
  Look partial = Look::Of(*w);
  EXPECT_TRUE(partial.gauge_shown && partial.lab_shown);
  EXPECT_EQ(partial.gauge_max, 100000);
  EXPECT_GT(partial.gauge_progress, 0);
  EXPECT_LT(partial.gauge_progress, 100000);
  EXPECT_EQ(Local(), local_);
}

TEST_F(DownloadWindow, AnArchiveThatCannotBeInstalledOrFailsItsChecksumChangesNothing) {
  fs::create_directories(base_ / "Foo");
  WriteFileBytes(base_ / "Foo/foo", "older program");
  WriteLocal(local_);
  const TreeSnapshot before = SnapshotTree(base_ / "Foo");
  server_.Route("/Foo.zip", Ok("<html>Not found</html>"));
  auto w = Open("Foo");
  ASSERT_TRUE(RunUntil([&] { return w->btnDl()->text() == "OK"; }));
  Look failed = Look::Of(*w);
  EXPECT_EQ(failed.lab, "Error while installing file!");
  EXPECT_TRUE(failed.lab_shown);
  EXPECT_FALSE(failed.lab2_shown);
  EXPECT_FALSE(failed.gauge_shown);
  EXPECT_TRUE(failed.button_enabled);
  EXPECT_EQ(failed.title, "Rk5 Helper");
  EXPECT_EQ(Local(), local_);
  EXPECT_EQ(TreeDifference(before, SnapshotTree(base_ / "Foo")), "");
  w.reset();

  // A good archive whose digest is not the one the section names.
  const std::string with_key =
      local_ + "SHA256=0000000000000000000000000000000000000000000000000000000000000000\r\n";
  WriteLocal(with_key);
  server_.Route("/Foo.zip", Ok(Tool()));
  w = Open("Foo");
  ASSERT_TRUE(RunUntil([&] { return w->btnDl()->text() == "OK"; }));
  EXPECT_EQ(w->lab()->text(), "Error while downloading file!");
  EXPECT_FALSE(w->lab2()->isVisible());
  EXPECT_EQ(Local(), with_key);
  EXPECT_EQ(TreeDifference(before, SnapshotTree(base_ / "Foo")), "");
  w.reset();

  // The right digest, in capitals: installed.
  const std::string matching = local_ + "SHA256=" +
                               QCryptographicHash::hash(QByteArray::fromStdString(Tool()),
                                                        QCryptographicHash::Sha256)
                                   .toHex()
                                   .toUpper()
                                   .toStdString() +
                               "\r\n";
  WriteLocal(matching);
  w = Open("Foo");
  ASSERT_TRUE(RunUntil([&] { return w->btnDl()->text() == "OK"; }));
  EXPECT_EQ(w->lab()->text(), "Foo Tool has been installed!");
  EXPECT_EQ(ReadFileBytes(base_ / "Foo/foo"), "program");
}

TEST_F(DownloadWindow, UpToDateAndUnknownToolsAreRefusedWithoutARequest) {
  WriteLocal("[Foo]\r\nName=Foo Tool\r\nDL=http://tools.test/Foo.zip\r\nOBuild=3\r\nBuild=3\r\n"
             "[Odd]\r\nOBuild=2\r\nBuild=0x10\r\n");
  WriteFileBytes(program_ / "Foo.zip", "kept");
  for (const char* section : {"Foo", "Unknown", "Odd", "../../etc/passwd"}) {
    ended_ = 0;
    auto w = Open(section);
    EXPECT_EQ(ended_, 1) << section;
    EXPECT_EQ(title_.Text(), "Rk5 Helper");
    EXPECT_FALSE(w->HoldsTopic());
    EXPECT_FALSE(marks_.IsHeld("rk5helper", section)) << "a copy that ends here lets go";
  }
  EXPECT_EQ(alerts_.Texts(), QStringList(4, "This program does not need a to be updated."));
  EXPECT_EQ(server_.RequestCount(), 0u);
  EXPECT_EQ(ReadFileBytes(program_ / "Foo.zip"), "kept");
}

TEST_F(DownloadWindow, AToolHeldByAnotherCopyIsRefusedWhateverItsLetterCase) {
  WriteLocal(local_);
  marks_.HoldElsewhere("rk5helper", "FOO");
  auto w = Open("Foo");
  Look busy = Look::Of(*w);
  EXPECT_EQ(busy.lab, "This file is alerdy being downloaded");
  EXPECT_TRUE(busy.lab_shown);
  EXPECT_FALSE(busy.lab2_shown);
  EXPECT_FALSE(busy.gauge_shown);
  EXPECT_EQ(busy.button, "OK");
  EXPECT_TRUE(busy.button_enabled);
  EXPECT_EQ(busy.title, "Rk5 Helper");
  EXPECT_EQ(busy.app_title, "Rk5 Helper");
  EXPECT_FALSE(w->HoldsTopic());
  EXPECT_FALSE(w->HttpFetch().Running());
  EXPECT_EQ(ended_, 0);

  // Marks that cannot be kept: no copy could tell, so nothing is downloaded.
  w.reset();
  marks_.unavailable = true;
  w = Open("Foo");
  EXPECT_EQ(w->lab()->text(), "Error while installing file!");
  EXPECT_EQ(w->btnDl()->text(), "OK");
  EXPECT_EQ(server_.RequestCount(), 0u);
}

TEST_F(DownloadWindow, CancelStopsTheDownloadAndEndsWithoutAMessage) {
  HttpReply reply = Ok(std::string(50000, 'z'));
  reply.fault = Fault::kGateAt;
  reply.fault_at = 1000;
  reply.gate = "never";
  server_.Route("/Foo.zip", reply);
  WriteLocal(local_);
  auto w = Open("Foo");
  ASSERT_TRUE(server_.WaitAtGate("never"));
  w->btnDl()->click();
  EXPECT_FALSE(w->isVisible());
  EXPECT_TRUE(RunUntil([&] { return !w->HttpFetch().Running(); }));
  server_.OpenGate("never");
  EXPECT_TRUE(alerts_.Texts().isEmpty());
  EXPECT_EQ(Local(), local_);
}

TEST_F(DownloadWindow, ASectionThatIsNoComponentNameStopsAtTheToolkitsErrorBox) {
  WriteLocal("[a-b]\r\nName=Dashed\r\nDL=http://tools.test/x.zip\r\nOBuild=2\r\n");
  MessageBoxCatcher boxes;
  auto w = Open("a-b");
  ASSERT_EQ(boxes.seen.size(), 1u);
  EXPECT_TRUE(boxes.seen[0].critical);
  EXPECT_EQ(boxes.seen[0].title, "Rk5 Helper");
  EXPECT_EQ(boxes.seen[0].text, "''a-b'' is not a valid component name.");
  Look design = Look::Of(*w);
  EXPECT_EQ(design.title, "Downloading...");
  EXPECT_EQ(design.lab, "Downloding...");
  EXPECT_EQ(design.button, "Cancel");
  EXPECT_FALSE(w->HoldsTopic());
  EXPECT_FALSE(fs::exists(program_ / "a-b.zip"));
  EXPECT_EQ(server_.RequestCount(), 0u);
  w->btnDl()->click();
  EXPECT_FALSE(w->isVisible());
}

TEST_F(DownloadWindow, BadSectionsAddressesAndRecordsEndInOneOfTheStatesAndWriteNothing) {
  const std::string long_name(10000, 'a');
  WriteLocal(std::string("\0\xff[Junk\n=\n", 10) + "[" + long_name +
             "]\r\nName=Long\r\nDL=http://tools.test/x.zip\r\nOBuild=2\r\n"
             "[Empty]\r\nDL=\r\nOBuild=2\r\n[Scheme]\r\nDL=ftp://tools.test/x.zip\r\nOBuild=2\r\n"
             "[Absurd]\r\nDL=http://" + std::string(5000, 'x') + "/x.zip\r\nOBuild=2\r\n"
             "[NoDL]\r\nOBuild=2\r\n");
  const std::string local = Local();
  server_.Route("/x.zip", Ok(Tool()));
  // Not tools of "Local.ini": refused as up to date, whatever the text.
  for (const std::string& section : {std::string("a/../../b"), std::string("a\x01\x7f"),
                                     std::string(20000, 'b'), std::string("Junk")}) {
    ended_ = 0;
    auto w = Open(section);
    EXPECT_EQ(ended_, 1);
  }
  // Tools whose download cannot succeed or whose archive cannot be installed.
  for (const std::string& section : {long_name, std::string("Empty"), std::string("Scheme"),
                                     std::string("Absurd"), std::string("NoDL")}) {
    auto w = Open(section);
    ASSERT_TRUE(RunUntil([&] { return w->btnDl()->text() == "OK"; })) << section.substr(0, 20);
    EXPECT_TRUE(w->lab()->text() == "Error while downloading file!" ||
                w->lab()->text() == "Error while installing file!")
        << section.substr(0, 20) << ": " << w->lab()->text().toStdString();
  }
  EXPECT_EQ(Local(), local);
  EXPECT_FALSE(fs::exists(base_ / "Foo"));
  for (const auto& entry : fs::directory_iterator(base_)) {
    EXPECT_EQ(entry.path().filename(), "Helper");
  }
}

}  // namespace
}  // namespace rk5::test
