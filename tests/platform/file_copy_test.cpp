#include "platform/file_copy.h"

#include <grp.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QProcess>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/process_info.h"
#include "support/temp_dir.h"

namespace rk5::platform {
namespace {

namespace fs = std::filesystem;

std::string RandomBytes(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random());
  return bytes;
}

mode_t CreationMask() {
  const mode_t mask = ::umask(022);
  ::umask(mask);
  return mask;
}

mode_t ModeOf(const fs::path& file) {
  struct stat st {};
  return ::stat(file.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

std::vector<std::string> NamesIn(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

constexpr uid_t kNobody = 65534;

// Runs as the user nobody from here on (when root; as anyone else it stays who it is).
void BecomeNobody() {
  if (::geteuid() != 0) return;
  if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) ::_exit(9);
}

// The copier beside this test program, copied into a folder of the scratch folder that
// every user may enter: a copier started as another user must reach its program
// wherever the build lies (a clone under a private home folder, say).
fs::path CopierIn(const fs::path& scratch) {
  const fs::path own = fs::path(ExecutablePath()).parent_path() / "tool_file_copy";
  const fs::path folder = scratch / "copier";
  fs::create_directory(folder);
  const fs::perms open_to_all = fs::perms::owner_all | fs::perms::group_read |
                                fs::perms::group_exec | fs::perms::others_read |
                                fs::perms::others_exec;
  fs::copy_file(own, folder / "tool_file_copy", fs::copy_options::overwrite_existing);
  fs::permissions(folder / "tool_file_copy", open_to_all);
  fs::permissions(folder, open_to_all);
  fs::permissions(scratch, open_to_all);
  return folder / "tool_file_copy";
}

// The copier as a process of its own, set up by setup between fork and exec.
bool CopyElsewhere(const fs::path& copier_program, const fs::path& source, const fs::path& target,
                   const std::function<void()>& setup) {
  QProcess copier;
  copier.setChildProcessModifier(setup);
  copier.start(QString::fromStdString(copier_program.string()),
               {QString::fromStdString(source.string()), QString::fromStdString(target.string())});
  EXPECT_TRUE(copier.waitForFinished());
  EXPECT_EQ(copier.exitStatus(), QProcess::NormalExit);
  return copier.exitCode() == 0;
}

class FileCopyTest : public ::testing::Test {
 protected:
  test::TempDir dir_;
  std::unique_ptr<FileCopy> copy_ = MakeFileCopy();
};

TEST_F(FileCopyTest, CopiesAreWholeAtEveryBlockBoundaryAndReplaceWhatWasThere) {
  const std::vector<std::size_t> sizes{0, 1, 8191, 8192, 16384, 16385, 65536, 65537, 3 * 1024 * 1024 + 7};
  const fs::path target = dir_.file("target");
  test::WriteFileBytes(target, RandomBytes(4 * 1024 * 1024, 99));  // longer than any source
  for (std::size_t size : sizes) {
    const std::string bytes = RandomBytes(size, static_cast<unsigned>(size));
    test::WriteFileBytes(dir_.file("source"), bytes);
    ASSERT_TRUE(copy_->Copy(dir_.file("source"), target.string(), false)) << size;
    EXPECT_EQ(test::ReadFileBytes(target), bytes) << size;
  }
  EXPECT_EQ(ModeOf(target), 0644 & ~CreationMask());
  EXPECT_EQ(NamesIn(dir_.path()), (std::vector<std::string>{"source", "target"}));
}

TEST_F(FileCopyTest, AFolderTargetGetsTheSourcesNameAndTheCopyMayRun) {
  const std::string program = RandomBytes(20000, 7);
  test::WriteFileBytes(dir_.file("rk5h"), program);
  fs::create_directory(dir_.file("Helper"));
  ASSERT_TRUE(copy_->Copy(dir_.file("rk5h"), dir_.file("Helper").string(), true));
  EXPECT_EQ(test::ReadFileBytes(dir_.file("Helper") / "rk5h"), program);
  EXPECT_EQ(ModeOf(dir_.file("Helper") / "rk5h"), 0755 & ~CreationMask());
  test::WriteFileBytes(dir_.file("rk5h"), "newer");
  ASSERT_TRUE(copy_->Copy(dir_.file("rk5h"), dir_.folder() + "Helper/", true));
  EXPECT_EQ(test::ReadFileBytes(dir_.file("Helper") / "rk5h"), "newer");
  EXPECT_EQ(NamesIn(dir_.file("Helper")), std::vector<std::string>{"rk5h"});
}

TEST_F(FileCopyTest, AFailedCopyLeavesTheOldTargetAndNoTemporary) {
  const std::string old_bytes = RandomBytes(10000, 1);
  const fs::path folder = dir_.file("Helper");
  fs::create_directory(folder);
  const fs::path target = folder / "rk5helper";
  test::WriteFileBytes(target, old_bytes);
  const std::string source_bytes = RandomBytes(3 * 1024 * 1024, 2);
  test::WriteFileBytes(dir_.file("rk5h"), source_bytes);
  ::mkfifo(dir_.file("pipe").c_str(), 0600);

  EXPECT_FALSE(copy_->Copy(dir_.file("missing"), target, true));
  EXPECT_FALSE(copy_->Copy(dir_.folder(), target, true));
  EXPECT_FALSE(copy_->Copy(dir_.file("pipe"), target, true));  // refused, not waited on
  EXPECT_FALSE(copy_->Copy(dir_.file("rk5h"), (dir_.file("no folder") / "rk5helper").string(), true));
  fs::create_directories(folder / "rk5h" / "inside");  // a folder where the copy would go
  EXPECT_FALSE(copy_->Copy(dir_.file("rk5h"), folder.string(), true));
  fs::remove_all(folder / "rk5h");

  // A disk that fills up in the middle of the copy.
  const fs::path copier = CopierIn(dir_.path());
  EXPECT_FALSE(CopyElsewhere(copier, dir_.file("rk5h"), target, [] {
    ::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{1024 * 1024, 1024 * 1024};
    ::setrlimit(RLIMIT_FSIZE, &limit);
  }));
  // A folder the copier may not write to (another user, since root may write anywhere).
  fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                              fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
  EXPECT_FALSE(CopyElsewhere(copier, dir_.file("rk5h"), target, BecomeNobody));
  EXPECT_EQ(test::ReadFileBytes(target), old_bytes);
  EXPECT_EQ(NamesIn(folder), std::vector<std::string>{"rk5helper"});
  // The same copy where it may write succeeds, so the failures above were the folder's.
  fs::permissions(folder, fs::perms::owner_write, fs::perm_options::add);
  EXPECT_TRUE(CopyElsewhere(copier, dir_.file("rk5h"), target, [] {}));
  EXPECT_EQ(test::ReadFileBytes(target), source_bytes);
}

// The other user's copier runs at all, and copies where that user may write: the copy it
// was refused above failed for the folder, not for want of its program.
TEST_F(FileCopyTest, AnotherUsersCopierReachesItsProgramWhereverTheBuildLies) {
  if (::geteuid() != 0) GTEST_SKIP() << "only root may start a copier as another user";
  test::WriteFileBytes(dir_.file("rk5h"), "tool");
  fs::permissions(dir_.file("rk5h"), fs::perms::others_read, fs::perm_options::add);
  const fs::path theirs = dir_.file("theirs");
  fs::create_directory(theirs);
  ASSERT_EQ(::chown(theirs.c_str(), kNobody, kNobody), 0);
  EXPECT_TRUE(
      CopyElsewhere(CopierIn(dir_.path()), dir_.file("rk5h"), theirs / "rk5h", BecomeNobody));
  struct stat st {};
  ASSERT_EQ(::stat((theirs / "rk5h").c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, kNobody);
  EXPECT_EQ(test::ReadFileBytes(theirs / "rk5h"), "tool");
}

}  // namespace
}  // namespace rk5::platform
