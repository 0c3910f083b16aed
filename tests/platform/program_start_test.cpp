#include "platform/program_start.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/event_wait.h"
#include "support/start_report.h"
#include "support/temp_dir.h"

namespace rk5::platform {
namespace {

namespace fs = std::filesystem;

const fs::path kReporter = RK5_TEST_BINARY_DIR "/tests/tool_start_report";

using test::StartReport;

// A copy of the reporting tool at path, runnable.
void PlaceReporter(const fs::path& path) {
  fs::create_directories(path.parent_path());
  fs::copy_file(kReporter, path, fs::copy_options::overwrite_existing);
}

class ProgramStartTest : public ::testing::Test {
 protected:
  // The next start reports into a file of its own.
  fs::path NextReport() {
    report_.emplace("RK5_START_REPORT", dir_.file("report" + std::to_string(++reports_)).string());
    return dir_.file("report" + std::to_string(reports_));
  }

  test::TempDir dir_;
  std::unique_ptr<ProgramStart> start_ = MakeProgramStart();
  std::optional<test::EnvOverride> report_;
  int reports_ = 0;
};

TEST_F(ProgramStartTest, AToolStartsDirectlyInItsFolderOnItsOwnWithWholeArguments) {
  const fs::path folder = dir_.file("tools with blanks");
  PlaceReporter(folder / "my tool");
  // Open without close-on-exec, as a careless library might: the tool must not get it.
  const int stray = ::open(dir_.file("stray").c_str(), O_RDWR | O_CREAT, 0600);
  ASSERT_GE(stray, 3);
  const std::string long_text(100000, 'x');
  const fs::path report = NextReport();

  ASSERT_TRUE(start_->Start("my tool", "/dl \"Foo Bar\" $HOME %1 C:\\Tools\\ " + long_text,
                            folder.string(), 0));
  ::close(stray);
  // The process this one started is gone and reaped already; the tool runs on alone.
  int status = 0;
  EXPECT_EQ(::waitpid(-1, &status, WNOHANG), -1);
  EXPECT_EQ(errno, ECHILD);

  const std::optional<StartReport> seen = test::AwaitStartReport(report);
  ASSERT_TRUE(seen.has_value());
  EXPECT_EQ(seen->folder, folder.string());
  const std::vector<std::string> expected{(folder / "my tool").string(), "/dl", "Foo Bar", "$HOME",
                                          "%1", "C:\\Tools\\", long_text};
  EXPECT_EQ(seen->argv, expected);
  EXPECT_EQ(seen->descriptors, "0 1 2 ");
  EXPECT_NE(seen->session, std::to_string(::getsid(0)));
}

TEST_F(ProgramStartTest, RelativeNamesAreLookedUpInTheWorkingFolderOnly) {
  const fs::path folder = dir_.file("tool folder");
  PlaceReporter(folder / "tool");
  PlaceReporter(dir_.file("bin") / "only-on-path");
  const char* old_path = std::getenv("PATH");
  test::EnvOverride path("PATH", dir_.file("bin").string() + ":" + (old_path ? old_path : ""));

  EXPECT_FALSE(start_->Start("only-on-path", "", folder.string(), 0));
  EXPECT_FALSE(start_->Start("tool", "", dir_.file("no such folder").string(), 0));
  EXPECT_FALSE(start_->Start("", "", folder.string(), 0));
  EXPECT_FALSE(start_->Start("tool", std::string("a\0b", 3), folder.string(), 0));

  // An empty folder is this process's own.
  const fs::path report = NextReport();
  const fs::path own = fs::current_path();
  fs::current_path(folder);
  const bool started = start_->Start("tool", "", "", 1);
  fs::current_path(own);
  ASSERT_TRUE(started);
  const std::optional<StartReport> seen = test::AwaitStartReport(report);
  ASSERT_TRUE(seen.has_value());
  EXPECT_EQ(seen->folder, folder.string());
  EXPECT_EQ(seen->argv, std::vector<std::string>{(folder / "tool").string()});
}

TEST_F(ProgramStartTest, AFileThatCannotRunIsAFailedStart) {
  test::WriteFileBytes(dir_.file("junk"), std::string("\x7f" "ELF but not really\n\x01\x02", 22));
  fs::permissions(dir_.file("junk"), fs::perms::owner_all);
  EXPECT_FALSE(start_->Start("junk", "", dir_.folder(), 0));
  EXPECT_FALSE(start_->Start(dir_.file("missing").string(), "", "", 0));
}

TEST_F(ProgramStartTest, DocumentsAndAddressesGoToTheDesktopsOpener) {
  const fs::path opener = dir_.file("bin") / "xdg-open";
  PlaceReporter(opener);
  test::EnvOverride path("PATH", "relative/bin:" + opener.parent_path().string());
  const fs::path folder = dir_.file("docs");
  fs::create_directories(folder);
  test::WriteFileBytes(folder / "notes.txt", "read me\n");

  for (const std::string address : {"https://example.com/a b?c=%20&d", "mailto:who@example.com"}) {
    const fs::path report = NextReport();
    ASSERT_TRUE(start_->Start(address, "ignored", folder.string(), 0));
    const std::optional<StartReport> seen = test::AwaitStartReport(report);
    ASSERT_TRUE(seen.has_value());
    EXPECT_EQ(seen->argv, (std::vector<std::string>{opener.string(), address}));
  }
  const fs::path report = NextReport();
  ASSERT_TRUE(start_->Start("notes.txt", "ignored", folder.string(), 0));
  const std::optional<StartReport> seen = test::AwaitStartReport(report);
  ASSERT_TRUE(seen.has_value());
  EXPECT_EQ(seen->argv, (std::vector<std::string>{opener.string(), (folder / "notes.txt").string()}));
  EXPECT_EQ(seen->folder, folder.string());

  // A drive letter is no address, and without an opener nothing can open anything.
  EXPECT_FALSE(start_->Start("C:\\notes.txt", "", folder.string(), 0));
  test::EnvOverride no_opener("PATH", folder.string());
  EXPECT_FALSE(start_->Start("https://example.com/", "", folder.string(), 0));
  EXPECT_FALSE(start_->Start("notes.txt", "", folder.string(), 0));
}

}  // namespace
}  // namespace rk5::platform
