// Refresh through the real fetch component and the loopback test server: the merge into
// "Local.ini", the update announcement, the selection kept by position, failures.
#include <QImage>
#include <QPushButton>
#include <gtest/gtest.h>

#include <filesystem>

#include "gui/main/icon_bitmaps.h"
#include "selfinstall/run_state.h"
#include "gui/main/main_window.h"
#include "gui/main/program_list.h"
#include "net/http_fetch.h"
#include "platform/icon_extraction.h"
#include "support/event_wait.h"
#include "support/http_test_server.h"
#include "support/alert_catcher.h"
#include "support/temp_dir.h"

namespace rk5 {
namespace {

using test::EnvOverride;
using test::HttpReply;
using test::ReadFileBytes;
using test::RunUntil;
using test::WriteFileBytes;

class Refresh : public ::testing::Test {
 protected:
  Refresh()
      : proxy_("http_proxy", server_.ProxyUrl()),
        no_proxy_("no_proxy", std::nullopt),
        no_proxy_upper_("NO_PROXY", std::nullopt) {}

  void SetUp() override {
    run_.ProgramFolder = dir_.folder();
    WriteFileBytes(dir_.file("Settings.ini"), "[Server]\r\nURL=http://catalogue.test/rk5h.ini\r\n");
  }

  std::unique_ptr<TMain> Open(const std::string& local) {
    WriteFileBytes(dir_.file("Local.ini"), local);
    return std::make_unique<TMain>(run_);
  }

  // Presses Refresh and waits until the window is idle again.
  void PressRefresh(TMain& main) {
    main.btnRefresh()->click();
    EXPECT_FALSE(main.btnRefresh()->isEnabled());
    ASSERT_TRUE(RunUntil([&] { return main.btnRefresh()->isEnabled(); }));
  }

  test::HttpTestServer server_;
  EnvOverride proxy_, no_proxy_, no_proxy_upper_;
  test::TempDir dir_;
  RunState run_;  // this test's run
  test::AlertCatcher alerts_;
};

TEST_F(Refresh, MergesTheCatalogueIntoTheLocalRecordAndReloads) {
  server_.Route("/rk5h.ini", test::Ok("[Hex]\r\nName=Hex 2\r\nOBuild=4\r\nOVersion=2.0\r\n"
                                      "[New]\r\nName=Fresh\r\nOBuild=1\r\n"
                                      "[Rk5Helper]\r\nBuild=2\r\nURL=http://x/rk5helper\r\n"));
  auto main = Open("[Gone]\nName=Only here\n[Hex]\nName=Hex\nBuild=3\nInstalled=1\nVersion=1.0\n");
  ASSERT_EQ(main->List()->count(), 2);
  PressRefresh(*main);
  EXPECT_EQ(ReadFileBytes(dir_.file("Local.ini")),
            "[Gone]\nName=Only here\n"
            "[Hex]\nName=Hex 2\nBuild=3\nInstalled=1\nVersion=1.0\nOBuild=4\nOVersion=2.0\n"
            "[New]\nName=Fresh\nOBuild=1\n"
            "[Rk5Helper]\nBuild=2\nURL=http://x/rk5helper\n");
  ASSERT_EQ(main->List()->count(), 3);  // [Rk5Helper] is copied but not listed
  EXPECT_EQ(main->Entry(2)->Section, "New");
  EXPECT_TRUE(main->Entry(1)->Outdated);
  EXPECT_TRUE(alerts_.Texts().isEmpty());  // Build=2: no announcement
  EXPECT_FALSE(run_.UpdateRequired);
  EXPECT_TRUE(main->btnUpdate()->isHidden());
  // The catalogue stays on disk for the next start.
  EXPECT_NE(ReadFileBytes(dir_.file("rk5h.ini")).find("[New]"), std::string::npos);
  ASSERT_EQ(server_.RequestCount(), 1u);
  EXPECT_EQ(server_.Requests()[0].Path(), "/rk5h.ini");
}

TEST_F(Refresh, ANewerBuildIsAnnouncedOnceAndTheListStillReloads) {
  server_.Route("/rk5h.ini", test::Ok("[T]\nName=T\n[Rk5Helper]\nBuild=3\nURL=http://x/new\n"));
  auto main = Open("");
  PressRefresh(*main);
  // The announcement presses Update, which fetches the build; here there is none to start.
  ASSERT_TRUE(RunUntil([&] { return main->btnUpdate()->isEnabled(); }));
  EXPECT_EQ(alerts_.Texts(),
            (QStringList{"Rk5 Helper need to be updated!", "Can't connect to server!"}));
  ASSERT_EQ(server_.RequestCount(), 2u);
  EXPECT_EQ(server_.Requests()[1].target, "http://x/new");
  EXPECT_TRUE(run_.UpdateRequired);
  EXPECT_EQ(run_.UpdateURL, "http://x/new");
  EXPECT_FALSE(main->btnUpdate()->isHidden());
  EXPECT_EQ(main->httpUpdate().URL, "http://x/new");
  EXPECT_EQ(main->httpUpdate().FileName, dir_.folder() + "rk5h");
  EXPECT_EQ(main->btnRefresh()->palette().color(QPalette::ButtonText), QColor(0x80, 0x80, 0x80));
  EXPECT_EQ(main->List()->count(), 1);
  // From now on Refresh only refuses.
  main->btnRefresh()->click();
  ASSERT_TRUE(RunUntil([&] { return alerts_.Texts().size() == 3; }));
  EXPECT_EQ(alerts_.Texts()[2], "You must update Rk5 Helper before downloading new files!");
  EXPECT_EQ(server_.RequestCount(), 2u);
}

TEST_F(Refresh, TheSelectionIsKeptByPosition) {
  std::string local;
  for (int i = 0; i < 6; ++i) local += "[T" + std::to_string(i) + "]\nName=" + std::to_string(i) + "\n";
  server_.Route("/rk5h.ini", test::Ok("[A]\nName=New one\n[T1]\nName=renamed\n"));
  auto main = Open(local);
  main->List()->SetItemIndex(4);
  PressRefresh(*main);
  ASSERT_EQ(main->List()->count(), 7);
  EXPECT_EQ(main->List()->ItemIndex(), 4);
  EXPECT_EQ(main->Entry(6)->Section, "A");  // new tools come after the known ones

  // No selection stays no selection; a shorter list loses it.
  main->List()->SetItemIndex(-1);
  PressRefresh(*main);
  EXPECT_EQ(main->List()->ItemIndex(), -1);
  main->List()->SetItemIndex(6);
  WriteFileBytes(dir_.file("Local.ini"), "[Only]\nName=x\n");
  server_.Route("/rk5h.ini", test::Ok(""));
  PressRefresh(*main);
  EXPECT_EQ(main->List()->ItemIndex(), -1);
}

TEST_F(Refresh, AFetchWithoutAnyReplyIsReportedAndChangesNothing) {
  const std::string local = "[T]\r\nName=T\r\n";
  WriteFileBytes(dir_.file("rk5h.ini"), "[Rk5Helper]\nBuild=2\n");
  HttpReply hang_up;
  hang_up.fault = test::Fault::kHangUp;
  server_.Route("/rk5h.ini", hang_up);
  auto main = Open(local);
  PressRefresh(*main);
  EXPECT_EQ(alerts_.Texts(), QStringList{"Can't connect to server!"});
  EXPECT_EQ(ReadFileBytes(dir_.file("Local.ini")), local);
  EXPECT_EQ(ReadFileBytes(dir_.file("rk5h.ini")), "[Rk5Helper]\nBuild=2\n");  // last good catalogue
  EXPECT_EQ(main->List()->count(), 1);
  // Refresh works again afterwards.
  server_.Route("/rk5h.ini", test::Ok("[U]\nName=U\n"));
  PressRefresh(*main);
  EXPECT_EQ(main->List()->count(), 2);
}

TEST_F(Refresh, AnEmptyOrJunkCatalogueLeavesTheLocalRecordAlone) {
  const std::string local = "[T]\r\nName=T\r\nInstalled=1\r\n";
  auto main = Open(local);
  for (std::string body :
       {std::string(), std::string("<html><head><title>502 Bad Gateway</title></head>\n<body>a=b</body>"),
        std::string("\x00\x01\x02\xff junk\n\x7f=\x80\n", 14)}) {
    server_.Route("/rk5h.ini", test::Ok(body));
    PressRefresh(*main);
    EXPECT_EQ(ReadFileBytes(dir_.file("Local.ini")), local);
    EXPECT_EQ(main->List()->count(), 1);
  }
  // A 404 page with a body counts as a catalogue (success goes by the length): nothing in it.
  server_.Route("/rk5h.ini", test::Status(404, "Not Found", "<h1>Not Found</h1>"));
  PressRefresh(*main);
  EXPECT_EQ(ReadFileBytes(dir_.file("Local.ini")), local);
  EXPECT_TRUE(alerts_.Texts().isEmpty());
}

TEST_F(Refresh, AHugeCatalogueMergesWithSectionsOfAnyLength) {
  std::string body;
  for (int i = 0; i < 100000; ++i) body += "[S" + std::to_string(i) + "]\nName=n\nKeyWithoutValue=\n";
  body += "[" + std::string(10000, 'L') + "]\nName=long\n";
  server_.Route("/rk5h.ini", test::Ok(body));
  auto main = Open("");
  PressRefresh(*main);
  EXPECT_EQ(main->List()->count(), 100001);
  EXPECT_EQ(main->Entry(100000)->Name, "long");
}

TEST_F(Refresh, AnEndlessOrDrippingCatalogueFailsAndLeavesTheLastOneAsItWas) {
  const std::string local = "[T]\r\nName=T\r\n";
  const std::string last_good = "[Rk5Helper]\r\nBuild=2\r\n";
  WriteFileBytes(dir_.file("rk5h.ini"), last_good);
  HttpReply endless = test::WithoutLength("[Rk5Helper]\r\nBuild=9\r\n[");
  endless.fault = test::Fault::kEndless;
  HttpReply drip = test::Ok("[Rk5Helper]\r\nBuild=9\r\n" + std::string(50000, ';'));
  drip.fault = test::Fault::kDripAt;
  drip.fault_at = 10;
  drip.drip_every = std::chrono::milliseconds(50);
  auto main = Open(local);
  // The program's own low-speed limit is a minute; the same rule, sooner.
  main->httpRefresh().Limits.low_speed_time = std::chrono::seconds(1);
  for (const HttpReply& reply : {endless, drip}) {
    server_.Route("/rk5h.ini", reply);
    PressRefresh(*main);
    EXPECT_EQ(ReadFileBytes(dir_.file("rk5h.ini")), last_good);
    EXPECT_EQ(ReadFileBytes(dir_.file("Local.ini")), local);
    EXPECT_FALSE(run_.UpdateRequired);
  }
  EXPECT_EQ(alerts_.Texts(), QStringList({"Can't connect to server!", "Can't connect to server!"}));
  // Nothing was left beside the catalogue.
  std::size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir_.path())) {
    ++files;
    EXPECT_EQ(entry.path().filename().string().find(".tmp-"), std::string::npos);
  }
  EXPECT_EQ(files, 3u);  // Settings.ini, Local.ini and rk5h.ini
}

TEST_F(Refresh, KeysThatCannotBeStoredOnOneLineAreLeftOutAndTheRestMerges) {
  server_.Route("/rk5h.ini", test::Ok("[T]\r\nName=first\rsecond\r\nBy\rX=odd\r\nOBuild=4\r\n"));
  auto main = Open("[T]\r\nName=old\r\n");
  PressRefresh(*main);
  EXPECT_TRUE(alerts_.Texts().isEmpty());
  EXPECT_EQ(ReadFileBytes(dir_.file("Local.ini")), "[T]\r\nName=old\r\nOBuild=4\r\n");
}

TEST_F(Refresh, AMergeThatCannotBeWrittenChangesNothingAndSaysSo) {
  server_.Route("/rk5h.ini", test::Ok("[T]\r\nName=new\r\n[U]\r\nName=U\r\n"));
  const std::string local = "[T]\r\nName=old\r\n";
  auto main = Open(local);
  std::filesystem::create_directory(dir_.file("Local.ini.lock"));  // a lock that cannot be taken
  PressRefresh(*main);
  EXPECT_EQ(alerts_.Texts(), QStringList{QString::fromStdString("Unable to write to " + dir_.folder() + "Local.ini")});
  EXPECT_EQ(ReadFileBytes(dir_.file("Local.ini")), local);
  EXPECT_EQ(main->List()->count(), 1);
}

TEST_F(Refresh, EntriesNamingAHugeImagePaintWithoutDecodingIt) {
  // 2,100 × 2,100 of one colour: a small file that would take 17 MB and a scaling for
  // each of 2,000 entries, were it decoded.
  QImage huge(2100, 2100, QImage::Format_RGB32);
  huge.fill(0xFF2080C0u);
  ASSERT_TRUE(huge.save(QString::fromStdString(dir_.file("huge.png").string()), "PNG"));
  std::string local;
  for (int i = 0; i < 2000; ++i) {
    local += "[T" + std::to_string(i) + "]\r\nName=T\r\nPath=" + dir_.folder() + "\r\nExeName=huge.png\r\n";
  }
  WriteFileBytes(dir_.file("Local.ini"), local);
  std::unique_ptr<platform::IconExtraction> icons = platform::MakeIconExtraction();
  TMain main(run_, MakeIconBuilder(*icons));
  main.show();
  const QImage painted = main.grab().toImage();
  ASSERT_EQ(main.List()->count(), 2000);
  // The file exists, so each entry has its bitmaps: the plain dimmed background, no picture.
  const IconBitmap plain = MakeIconBitmap(nullptr, kIconNormalPercent);
  for (int i : {0, 999, 1999}) {
    ASSERT_NE(main.Entry(i)->IconNormal, nullptr);
    EXPECT_EQ(main.Entry(i)->IconNormal->pixels, plain.pixels) << i;
  }
  EXPECT_FALSE(painted.isNull());
}

}  // namespace
}  // namespace rk5
