#include "platform/launcher_files.h"

#include <sys/stat.h>

#include <QBuffer>
#include <QImage>
#include <QProcess>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/event_wait.h"
#include "support/pe_builder.h"
#include "support/start_report.h"
#include "support/temp_dir.h"

namespace rk5::platform {
namespace {

namespace fs = std::filesystem;

struct ToolRun {
  int exit_code = -1;
  std::string output;
};

ToolRun RunTool(const QString& program, const QStringList& args) {
  QProcess process;
  process.setProcessChannelMode(QProcess::MergedChannels);
  process.start(program, args);
  if (!process.waitForFinished(60000)) return {};
  return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
          process.readAll().toStdString()};
}

QString Q(const fs::path& path) { return QString::fromStdString(path.string()); }

// The value of key in a launcher's text, as the file stores it.
std::string ValueOf(const std::string& text, const std::string& key) {
  const std::size_t at = text.find("\n" + key + "=");
  if (at == std::string::npos) return {};
  const std::size_t from = at + key.size() + 2;
  return text.substr(from, text.find('\n', from) - from);
}

uint32_t CentreOf(const std::string& png) {
  const QImage image = QImage::fromData(QByteArray::fromStdString(png), "PNG");
  if (image.width() != 32 || image.height() != 32) return 0;
  return image.pixel(16, 16);
}

mode_t ModeOf(const fs::path& file) {
  struct stat st {};
  return ::stat(file.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

class LauncherFilesTest : public ::testing::Test {
 protected:
  LauncherFilesTest() { fs::create_directory(desktop_); }

  test::TempDir dir_;
  fs::path desktop_ = dir_.file("Desktop");
  fs::path icons_ = dir_.file("data") / "rk5helper" / "icons";
  std::string own_icon_ = test::PngImage(32, 32, test::Solid(32, 32, 0xFF123456u));
  std::unique_ptr<LauncherFiles> launchers_ = MakeLauncherFiles(icons_.string(), own_icon_);
};

TEST_F(LauncherFilesTest, ALauncherStartsItsTargetWithExactlyItsArgumentsInItsFolder) {
  const fs::path program_folder = dir_.file("Rk5's $Helper 100% \\ \"x\"");
  const fs::path target = program_folder / "rk5 helper";
  fs::create_directories(program_folder);
  fs::copy_file(RK5_TEST_BINARY_DIR "/tests/tool_start_report", target);
  test::WriteFileBytes(program_folder / "rk5 helper.png",
                       test::PngImage(16, 16, test::Solid(16, 16, 0xFFFF0000u)));
  const fs::path tool_folder = dir_.file("tool folder $HOME %d `x`");
  fs::create_directories(tool_folder);
  const std::string section = R"(My "Tool $x" 50% %f %% back\slash 'q' ~h #c (p) `t` a;b a&b <i> |p *s ?q)";
  Launcher launcher;
  launcher.target = target.string();
  launcher.arguments = "/run " + section;
  launcher.working_folder = tool_folder.string();
  launcher.icon_file = target.string();
  launcher.hot_key = 0x0746;
  launcher.show_state = 2;
  const std::string name = "Tool \"One\" $x 100%";
  ASSERT_TRUE(launchers_->Write(desktop_.string(), name, launcher));

  const fs::path file = desktop_ / launchers_->FileName(name);
  EXPECT_EQ(file.filename(), name + ".desktop");
  const mode_t mask = ::umask(022);
  ::umask(mask);
  EXPECT_EQ(ModeOf(file), 0755 & ~mask);
  const ToolRun validation = RunTool("desktop-file-validate", {Q(file)});
  EXPECT_EQ(validation.exit_code, 0) << validation.output;
  EXPECT_EQ(validation.output.find("error"), std::string::npos) << validation.output;

  const fs::path report = dir_.file("report");
  test::EnvOverride report_to("RK5_START_REPORT", report.string());
  const ToolRun launch = RunTool("gio", {"launch", Q(file)});
  ASSERT_EQ(launch.exit_code, 0) << launch.output;
  const std::optional<test::StartReport> seen = test::AwaitStartReport(report);
  ASSERT_TRUE(seen);
  EXPECT_EQ(seen->folder, tool_folder.string());
  const std::vector<std::string> expected{
      target.string(), "/run", "My",  "Tool $x", "50%", "%f",  "%%",  "back\\slash", "'q'", "~h",
      "#c",            "(p)",  "`t`", "a;b",     "a&b", "<i>", "|p", "*s",          "?q"};
  EXPECT_EQ(seen->argv, expected);

  // The icon: the picture beside the program, saved where the launcher finds it.
  const std::string text = test::ReadFileBytes(file);
  const fs::path icon = ValueOf(text, "Icon");
  EXPECT_EQ(icon.parent_path(), icons_);
  EXPECT_EQ(CentreOf(test::ReadFileBytes(icon)), 0xFFFF0000u);
}

TEST_F(LauncherFilesTest, ALauncherIsReplacedWholeAndTextsAreShownAsTheProgramShowsThem) {
  Launcher launcher;
  launcher.target = "/usr/bin/true";
  launcher.description = "first";
  launcher.icon_file = dir_.file("no icon here.txt").string();
  test::WriteFileBytes(launcher.icon_file, "text\n");
  ASSERT_TRUE(launchers_->Write(desktop_.string(), "Caf\xE9", launcher));
  launcher.description = "Download and\nmaintains\t\x01tools.";
  ASSERT_TRUE(launchers_->Write(desktop_.string() + "/", "Caf\xE9", launcher));

  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(desktop_)) files.push_back(entry.path());
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(files[0].filename().string(), "Caf\xE9.desktop");
  const std::string text = test::ReadFileBytes(files[0]);
  EXPECT_EQ(ValueOf(text, "Name"), "Caf\xC3\xA9");
  EXPECT_EQ(ValueOf(text, "Comment"), "Download and\\nmaintains\\t tools.");
  EXPECT_EQ(ValueOf(text, "Exec"), "/usr/bin/true");
  EXPECT_EQ(ValueOf(text, "Path"), "");
  // No icon in the file: the program's own, saved once under its own name.
  EXPECT_EQ(ValueOf(text, "Icon"), (icons_ / "rk5helper.png").string());
  EXPECT_EQ(test::ReadFileBytes(icons_ / "rk5helper.png"), own_icon_);
  // The validator cannot open a file whose name is not UTF-8: a copy of it then.
  fs::copy_file(files[0], dir_.file("cafe.desktop"));
  const ToolRun validation = RunTool("desktop-file-validate", {Q(dir_.file("cafe.desktop"))});
  EXPECT_EQ(validation.exit_code, 0) << validation.output;

  // Where no picture can be saved the launcher still comes, without an icon.
  test::WriteFileBytes(dir_.file("plain"), "a file, not a folder");
  ASSERT_TRUE(MakeLauncherFiles(dir_.file("plain").string() + "/icons", own_icon_)
                  ->Write(desktop_.string(), "No icon", launcher));
  const std::string without = test::ReadFileBytes(desktop_ / "No icon.desktop");
  EXPECT_EQ(without.find("Icon="), std::string::npos);
  EXPECT_EQ(RunTool("desktop-file-validate", {Q(desktop_ / "No icon.desktop")}).exit_code, 0);
}

TEST_F(LauncherFilesTest, BadNamesFoldersAndCommandsWriteNothing) {
  Launcher launcher;
  launcher.target = "/usr/bin/true";
  const std::string longest(255 - 8, 'n');
  for (const std::string& name : {std::string(), std::string("."), std::string(".."),
                                  std::string("a/b"), std::string("../escape"),
                                  std::string("nul\0byte", 8), longest + "n"}) {
    EXPECT_FALSE(launchers_->Write(desktop_.string(), name, launcher)) << name;
  }
  EXPECT_FALSE(launchers_->Write(dir_.file("missing").string(), "Tool", launcher));
  test::WriteFileBytes(dir_.file("file"), "");
  EXPECT_FALSE(launchers_->Write(dir_.file("file").string(), "Tool", launcher));
  EXPECT_FALSE(launchers_->Write("", "Tool", launcher));

  // Commands a launcher could not start exactly as given.
  for (const std::string& target : {std::string("true"), std::string("/opt/a=b/tool"),
                                    std::string("/opt/caf\xE9/tool"), std::string("/opt/\x01")}) {
    launcher.target = target;
    EXPECT_FALSE(launchers_->Write(desktop_.string(), "Tool", launcher)) << target;
  }
  launcher.target = "/usr/bin/true";
  launcher.arguments = "/run a\x7f";
  EXPECT_FALSE(launchers_->Write(desktop_.string(), "Tool", launcher));
  launcher.arguments.clear();
  launcher.working_folder = "/opt/\x7f";
  EXPECT_FALSE(launchers_->Write(desktop_.string(), "Tool", launcher));
  EXPECT_TRUE(fs::is_empty(desktop_));
  EXPECT_FALSE(fs::exists(icons_));  // not even a picture for a launcher that never came

  launcher.working_folder.clear();
  ASSERT_TRUE(launchers_->Write(desktop_.string(), longest, launcher));
  EXPECT_TRUE(fs::exists(desktop_ / (longest + ".desktop")));
}

TEST_F(LauncherFilesTest, OnlyALauncherThatStartsTheProgramIsRemovedUnderAnOlderName) {
  // Started from a plain path, a quoted one, through env ("%"); then other programs'.
  for (const char* target : {"/opt/Rk5/Helper/rk5helper", "/home/My Rk5 \"x\"/rk5helper",
                             "/home/100%/rk5helper", "/usr/bin/other", "/usr/bin/rk5helper-publish"}) {
    SCOPED_TRACE(target);
    const bool ours = std::string(target).ends_with("/rk5helper");
    Launcher launcher;
    launcher.target = target;
    ASSERT_TRUE(launchers_->Write(desktop_.string(), "Rk5 Helper", launcher));
    EXPECT_TRUE(launchers_->RemoveIfStarting(desktop_.string(), "Rk5 Helper", "rk5helper"));
    EXPECT_EQ(fs::exists(desktop_ / "Rk5 Helper.desktop"), !ours);
  }
  // The shown name is the title; the file keeps the launcher's name. A link of the older
  // name stays, and neither a missing launcher nor a missing folder is a failure.
  Launcher titled;
  titled.target = "/opt/rk5helper";
  titled.title = "Rk5 Helper";
  ASSERT_TRUE(launchers_->Write(desktop_.string(), "org.rk5helper.Rk5Helper", titled));
  const fs::path id_file = desktop_ / "org.rk5helper.Rk5Helper.desktop";
  EXPECT_EQ(ValueOf(test::ReadFileBytes(id_file), "Name"), "Rk5 Helper");
  fs::remove(desktop_ / "Rk5 Helper.desktop");
  fs::create_symlink(id_file, desktop_ / "Rk5 Helper.desktop");
  EXPECT_TRUE(launchers_->RemoveIfStarting(desktop_.string(), "Rk5 Helper", "rk5helper"));
  EXPECT_TRUE(fs::is_symlink(desktop_ / "Rk5 Helper.desktop") && fs::exists(id_file));
  EXPECT_TRUE(launchers_->RemoveIfStarting(dir_.file("gone").string(), "Rk5 Helper", "rk5helper"));
}

}  // namespace
}  // namespace rk5::platform
