// The window factory as main() fills it: each window is made from the run and the
// services it was handed, here a local run and scratch services.
#include <gtest/gtest.h>

#include <QPushButton>
#include <memory>

#include "app/gui/window_factory.h"
#include "gui/main/main_window.h"
#include "gui/main/program_list.h"
#include "net/http_fetch.h"
#include "gui/download/download_window.h"
#include "install/scratch_marks.h"
#include "support/alert_catcher.h"
#include "support/temp_dir.h"

namespace rk5 {
namespace {

// Icons from a stand-in that knows one file only.
class OneIcon : public platform::IconExtraction {
 public:
  explicit OneIcon(std::string file) : file_(std::move(file)) {}
  bool IsExistingFile(const std::string& path) override { return path == file_; }
  std::optional<platform::IconPicture> FirstIcon(const std::string&) override { return std::nullopt; }

 private:
  std::string file_;
};

TEST(AvailableWindows, TheMainWindowIsMadeFromTheRunAndServicesItWasHanded) {
  test::TempDir dir;
  test::WriteFileBytes(dir.file("Local.ini"),
                       "[Rk5Helper]\nBuild=2\n[Hex]\nName=Hex\nInstalled=1\nPath=/t/\nExeName=hex\n"
                       "[Other]\nName=Other\n");
  RunState run;
  run.ProgramFolder = dir.folder();
  run.UpdateRequired = true;
  run.UpdateURL = "http://host/new";
  platform::Services services;
  services.icons = std::make_unique<OneIcon>("/t/hex");

  WindowFactory factory;
  RegisterAvailableWindows(factory, run, services);
  EXPECT_TRUE(factory.Has(WindowKind::Startup));
  EXPECT_TRUE(factory.Has(WindowKind::Download));
  std::unique_ptr<QWidget> window(factory.Create(WindowKind::Main));
  auto* main = qobject_cast<TMain*>(window.get());
  ASSERT_NE(main, nullptr);
  EXPECT_EQ(main->ProgramFolder(), dir.folder());
  EXPECT_EQ(main->List()->count(), 2);
  ASSERT_NE(main->Entry(0), nullptr);
  EXPECT_NE(main->Entry(0)->IconNormal, nullptr);  // through the services' icon extraction
  EXPECT_EQ(main->Entry(1)->IconNormal, nullptr);
  EXPECT_FALSE(main->btnUpdate()->isHidden());     // the run's update announcement
  EXPECT_EQ(main->httpUpdate().URL, "http://host/new");
}

TEST(AvailableWindows, TheDownloadWindowTakesItsToolFromTheRunAndMayEndIt) {
  test::TempDir dir;
  test::WriteFileBytes(dir.file("Local.ini"), "[Hex]\nName=Hex\nBuild=4\nOBuild=4\n");
  RunState run;
  run.RunMode = "/dl";
  run.Argument = "Hex";
  run.ProgramFolder = dir.folder();
  platform::Services services;
  services.busy_marks = std::make_unique<test::ScratchMarks>();
  services.file_tree = platform::MakeFileTree();
  services.file_moves = platform::MakeFileMoves();

  WindowFactory factory;
  RegisterAvailableWindows(factory, run, services);
  test::AlertCatcher alerts;
  int terminated = 0;
  // Hex is up to date: the window refuses and asks the run to end.
  std::unique_ptr<QWidget> window(
      factory.Create(WindowKind::Download, [&terminated] { ++terminated; }));
  auto* download = qobject_cast<TDownload*>(window.get());
  ASSERT_NE(download, nullptr);
  EXPECT_EQ(download->Section(), "Hex");
  EXPECT_EQ(download->ToolName(), "Hex");
  EXPECT_EQ(terminated, 1);
  EXPECT_EQ(alerts.Texts(), QStringList{"This program does not need a to be updated."});
}

}  // namespace
}  // namespace rk5
