// What another program or user can put where an INI file or its lock belongs: a pipe, a
// device, a folder, a link, a huge file, a lock held or owned by someone else. Reads see
// such a file as missing without waiting; writes fail with the file named, write nothing
// and never wait longer than the lock's bound.
#include <malloc.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QProcess>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "ini/ini_file.h"
#include "platform/file_lock.h"
#include "support/temp_dir.h"

namespace rk5 {
namespace {

namespace fs = std::filesystem;
using test::ReadFileBytes;
using test::TempDir;
using test::WriteFileBytes;

constexpr std::chrono::milliseconds kShortWait{200};

class IniBounds : public ::testing::Test {
 protected:
  std::string Path() const { return dir_.file("Local.ini").string(); }
  std::string LockPath() const { return Path() + ".lock"; }

  // A write that must fail and leave the file's place as it was.
  void ExpectRefusedWrite(const char* what) {
    IniFile file(Path(), kShortWait);
    const IniWriteResult result = file.WriteString("Tool", "Added", "x");
    EXPECT_FALSE(result) << what;
    EXPECT_EQ(result.message, "Unable to write to " + Path()) << what;
  }

  TempDir dir_;
};

TEST_F(IniBounds, WhatIsNoRegularFileReadsAsMissingAndCannotBeWritten) {
  struct Place {
    const char* what;
    std::function<void(const std::string&)> make;
    std::function<bool(const std::string&)> still_there;
  };
  const std::vector<Place> places = {
      {"a pipe without a writer", [](const std::string& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0); },
       [](const std::string& p) { return fs::is_fifo(p); }},
      {"a link to an endless device", [](const std::string& p) { fs::create_symlink("/dev/zero", p); },
       [](const std::string& p) { return fs::is_symlink(p) && fs::read_symlink(p) == "/dev/zero"; }},
      {"a folder", [](const std::string& p) { fs::create_directory(p); },
       [](const std::string& p) { return fs::is_directory(p); }},
      {"a file over the bound",
       [](const std::string& p) {
         WriteFileBytes(p, "[Tool]\nName=big\n");
         fs::resize_file(p, kMaxIniFileSize + 1);
       },
       [](const std::string& p) { return fs::file_size(p) == kMaxIniFileSize + 1; }},
  };
  for (const Place& place : places) {
    fs::remove_all(Path());
    place.make(Path());
    IniFile file(Path(), kShortWait);
    EXPECT_TRUE(file.ReadSections().empty()) << place.what;
    EXPECT_EQ(file.ReadString("Tool", "Name", "missing"), "missing") << place.what;
    ExpectRefusedWrite(place.what);
    EXPECT_TRUE(place.still_there(Path())) << place.what;
  }
  // At the bound a file is read.
  fs::remove_all(Path());
  std::string at_bound = "[Tool]\nName=big\nPad=";
  at_bound += std::string(kMaxIniFileSize - at_bound.size() - 1, 'p') + "\n";
  WriteFileBytes(Path(), at_bound);
  EXPECT_EQ(IniFile(Path()).ReadString("Tool", "Name", ""), "big");
  // A write that would take it past the bound fails and leaves it whole.
  ExpectRefusedWrite("a write past the bound");
  EXPECT_EQ(fs::file_size(Path()), kMaxIniFileSize);
}

TEST_F(IniBounds, ALockThatCannotBeTakenWritesNothing) {
  WriteFileBytes(Path(), "[Tool]\nName=old\n");
  const fs::path victim = dir_.file("victim");
  WriteFileBytes(victim, "a file of the user");

  fs::create_directory(LockPath());
  ExpectRefusedWrite("a folder as lock");
  fs::remove(LockPath());

  fs::create_symlink(dir_.file("created-by-link"), LockPath());
  ExpectRefusedWrite("a link to a missing file");
  EXPECT_FALSE(fs::exists(dir_.file("created-by-link")));
  fs::remove(LockPath());

  fs::create_symlink(victim, LockPath());
  ExpectRefusedWrite("a link to a file of the user");
  EXPECT_EQ(ReadFileBytes(victim), "a file of the user");
  fs::remove(LockPath());

  ASSERT_EQ(::mkfifo(LockPath().c_str(), 0600), 0);
  ExpectRefusedWrite("a pipe as lock");
  fs::remove(LockPath());

  EXPECT_EQ(ReadFileBytes(Path()), "[Tool]\nName=old\n");
  // Once the lock's place is free the write goes through, with a lock of the user's own.
  ASSERT_TRUE(IniFile(Path()).WriteString("Tool", "Name", "new"));
  EXPECT_EQ(IniFile(Path()).ReadString("Tool", "Name", ""), "new");
  EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(LockPath())));
  EXPECT_EQ(fs::status(LockPath()).permissions(), fs::perms::owner_read | fs::perms::owner_write);
}

TEST_F(IniBounds, ALockHeldByAnotherCopyMakesTheWriteFailAfterTheWait) {
  WriteFileBytes(Path(), "[Tool]\nName=old\n");
  {
    platform::FileLock other(Path(), std::chrono::milliseconds(0));
    ASSERT_TRUE(other.held());
    ExpectRefusedWrite("a lock held meanwhile");
    EXPECT_EQ(ReadFileBytes(Path()), "[Tool]\nName=old\n");
  }
  EXPECT_TRUE(IniFile(Path(), kShortWait).WriteString("Tool", "Name", "new"));
  EXPECT_EQ(IniFile(Path()).ReadString("Tool", "Name", ""), "new");
}

// Another user holds the lock, from a lock file of theirs: a write never waits for them.
TEST_F(IniBounds, ALockOfAnotherUserIsNeverWaitedForNorUsed) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
  WriteFileBytes(Path(), "[Tool]\nName=old\n");
  ASSERT_EQ(::chmod(dir_.path().c_str(), 0777), 0);
  // As "nobody": make the lock file and hold it until told to stop.
  QProcess holder;
  holder.start("setpriv", {"--reuid=65534", "--regid=65534", "--clear-groups", "flock",
                           QString::fromStdString(LockPath()), "-c", "echo held; read line"});
  ASSERT_TRUE(holder.waitForStarted());
  ASSERT_TRUE(holder.waitForReadyRead(20000)) << holder.readAllStandardError().toStdString();
  ASSERT_EQ(holder.readLine().trimmed(), "held");
  struct stat st {};
  ASSERT_EQ(::stat(LockPath().c_str(), &st), 0);
  ASSERT_EQ(st.st_uid, 65534u);

  // The default wait: the write neither waits for them without bound (it returns while
  // they still hold the lock) nor goes ahead under their lock file.
  IniFile file(Path());
  const IniWriteResult result = file.WriteString("Tool", "Name", "x");
  EXPECT_FALSE(result);
  EXPECT_EQ(result.message, "Unable to write to " + Path());
  EXPECT_EQ(ReadFileBytes(Path()), "[Tool]\nName=old\n");
  holder.write("stop\n");
  ASSERT_TRUE(holder.waitForFinished(20000));
  // Not held any more, but still theirs: still not ours to write under.
  EXPECT_FALSE(IniFile(Path(), kShortWait).WriteString("Tool", "Name", "x"));
  fs::remove(LockPath());
  EXPECT_TRUE(IniFile(Path()).WriteString("Tool", "Name", "new"));
}

// Heap in use, as the C library counts it (mapped blocks included); 0 where another
// allocator stands in.
std::size_t HeapInUse() {
  const struct mallinfo2 heap = mallinfo2();
  return heap.uordblks + heap.hblkhd;
}

TEST(IniDocumentSize, AFileTakesAtMostAboutFourTimesItsSizeWhateverItsLines) {
  if (HeapInUse() == 0) GTEST_SKIP() << "the allocator does not say what it holds";
  constexpr std::size_t kSize = 8u << 20;
  std::string short_keys;
  for (int section = 0; short_keys.size() < kSize; ++section) {
    short_keys += "[S" + std::to_string(section) + "]\n";
    for (int key = 0; key < 16; ++key) short_keys += "k" + std::to_string(key) + "=1\n";
  }
  for (const std::string& bytes : {std::string(kSize, '\n'), short_keys}) {
    std::string copy = bytes;
    const std::size_t before = HeapInUse();
    IniDocument doc = IniDocument::Parse(std::move(copy));
    const std::size_t taken = HeapInUse() - before + bytes.size();  // the bytes it took over
    EXPECT_LE(taken, 4 * bytes.size() + (1u << 20)) << "lines of " << (bytes[0] == '\n' ? 1 : 5);
    EXPECT_EQ(doc.Serialize(), bytes);
  }
}

}  // namespace
}  // namespace rk5
