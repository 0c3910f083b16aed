#include "ini/ini_file.h"

#include <QProcess>
#include <QStringList>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>

#include "support/temp_dir.h"

namespace rk5 {
namespace {

using test::ReadFileBytes;
using test::TempDir;
using test::WriteFileBytes;

const QString kWriter = QStringLiteral(RK5_TEST_BINARY_DIR "/tests/tool_ini_writer");

TEST(IniFile, AMissingFileReadsEmptyAndTheFirstWriteCreatesIt) {
  TempDir dir;
  IniFile ini(dir.file("Local.ini").string());
  EXPECT_TRUE(ini.ReadSections().empty());
  EXPECT_EQ(ini.ReadString("Tool", "Name", "<none>"), "<none>");
  ASSERT_TRUE(ini.WriteString("Tool", "Name", "Viewer"));
  EXPECT_EQ(ReadFileBytes(dir.file("Local.ini")), "[Tool]\r\nName=Viewer\r\n");
}

TEST(IniFile, ReadsSeeChangesMadeByOthersAtOnce) {
  TempDir dir;
  IniFile ini(dir.file("a.ini").string());
  ASSERT_TRUE(ini.WriteString("S", "K", "1"));
  EXPECT_EQ(ini.ReadString("S", "K", ""), "1");
  IniFile other(dir.file("a.ini").string());
  ASSERT_TRUE(other.WriteString("S", "K", "2"));
  EXPECT_EQ(ini.ReadString("S", "K", ""), "2");
  WriteFileBytes(dir.file("a.ini"), "[S]\nK=edited by hand, longer\n");
  EXPECT_EQ(ini.ReadString("S", "K", ""), "edited by hand, longer");
}

TEST(IniFile, AWriteKeepsEveryLineItCouldNotParse) {
  TempDir dir;
  std::string junk = std::string("\x00\x01 binary \xff\r\n", 13) + "[T]\nno equals here\n" +
                     std::string(1 << 20, 'L') + "\n=orphan value\nA=1";
  WriteFileBytes(dir.file("j.ini"), junk);
  IniFile ini(dir.file("j.ini").string());
  ASSERT_TRUE(ini.WriteString("T", "A", "2"));
  ASSERT_TRUE(ini.WriteString("New", "B", "3"));
  std::string expected = junk.substr(0, junk.size() - 3) + "A=2\r\n[New]\r\nB=3\r\n";
  EXPECT_TRUE(ReadFileBytes(dir.file("j.ini")) == expected);  // 1 MB: not printed
}

TEST(IniFile, AFailedWriteReportsItAndLeavesTheFileWhole) {
  TempDir dir;
  // A folder that is a file cannot hold anything (this holds for root, too).
  WriteFileBytes(dir.file("folder"), "x");
  IniFile nowhere(dir.file("folder").string() + "/Local.ini");
  IniWriteResult result = nowhere.WriteString("S", "K", "V");
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.message, "Unable to write to " + dir.file("folder").string() + "/Local.ini");

  // A name taken by a folder cannot be replaced by a file.
  std::filesystem::create_directory(dir.file("Local.ini"));
  IniFile taken(dir.file("Local.ini").string());
  EXPECT_FALSE(taken.WriteString("S", "K", "V").ok);

  // A refused key changes nothing on disk but the valid writes of its batch.
  WriteFileBytes(dir.file("b.ini"), "[S]\nK=old\n");
  IniFile ini(dir.file("b.ini").string());
  IniBatch batch;
  batch.WriteString("S", "K", "new");
  batch.WriteString("S", "bad=key", "x");
  EXPECT_FALSE(ini.Commit(batch).ok);
  EXPECT_EQ(ReadFileBytes(dir.file("b.ini")), "[S]\nK=new\n");
}

// Files beside each other in the program folder are written under their own locks: a
// write clears only its own file's leftovers, never another file's temporary in progress.
TEST(IniFile, AWriteClearsOnlyItsOwnLeftoversAndKeepsThePermissions) {
  TempDir dir;
  WriteFileBytes(dir.file("Local.ini"), "[A]\nK=1\n");
  std::filesystem::permissions(dir.file("Local.ini"), std::filesystem::perms(0640));
  for (const char* name : {"Local.ini.tmp-a1B2c3", "Settings.ini.tmp-a1B2c3", "Local.ini.tmp-toolong",
                           "Local.ini.tmp-"}) {
    WriteFileBytes(dir.file(name), "left");
  }
  ASSERT_TRUE(IniFile(dir.file("Local.ini").string()).WriteString("A", "K", "2"));
  std::vector<std::string> names;
  for (auto& entry : std::filesystem::directory_iterator(dir.path())) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"Local.ini", "Local.ini.lock", "Local.ini.tmp-",
                                             "Local.ini.tmp-toolong", "Settings.ini.tmp-a1B2c3"}));
  EXPECT_EQ(ReadFileBytes(dir.file("Local.ini")), "[A]\nK=2\n");
  EXPECT_EQ(std::filesystem::status(dir.file("Local.ini")).permissions(), std::filesystem::perms(0640));
}

TEST(IniFile, ABatchGivesWhatTheSameWritesOneByOneGive) {
  TempDir dir;
  std::string start = "[A]\nx=1\n\n[Rk5Helper]\nBuild=2\n; tail comment\n";
  WriteFileBytes(dir.file("one.ini"), start);
  WriteFileBytes(dir.file("batch.ini"), start);
  IniFile one(dir.file("one.ini").string()), many(dir.file("batch.ini").string());
  IniBatch batch;
  std::mt19937 rng(3);
  for (int i = 0; i < 200; ++i) {
    std::string section = "S" + std::to_string(rng() % 9), key = "k" + std::to_string(rng() % 5);
    std::string value = std::to_string(rng());
    ASSERT_TRUE(one.WriteString(section, key, value));
    batch.WriteString(section, key, value);
  }
  ASSERT_TRUE(many.Commit(batch));
  EXPECT_EQ(ReadFileBytes(dir.file("batch.ini")), ReadFileBytes(dir.file("one.ini")));
}

TEST(IniFileProcesses, CopiesWritingAtOnceLoseNothing) {
  TempDir dir;
  std::string file = dir.file("Local.ini").string();
  constexpr int kWriters = 4, kKeys = 40;
  std::vector<std::unique_ptr<QProcess>> writers;
  for (int w = 0; w < kWriters; ++w) {
    auto p = std::make_unique<QProcess>();
    // Half share one section, half have their own: both must keep every key.
    QString section = w % 2 ? QStringLiteral("Shared") : QStringLiteral("Own%1").arg(w);
    p->start(kWriter, {QString::fromStdString(file), "keys", section, QStringLiteral("w%1_").arg(w),
                       QString::number(kKeys)});
    writers.push_back(std::move(p));
  }
  for (auto& p : writers) {
    ASSERT_TRUE(p->waitForFinished(60000));
    ASSERT_EQ(p->exitCode(), 0);
  }
  IniFile ini(file);
  for (int w = 0; w < kWriters; ++w) {
    std::string section = w % 2 ? "Shared" : "Own" + std::to_string(w);
    for (int i = 0; i < kKeys; ++i) {
      std::string key = "w" + std::to_string(w) + "_" + std::to_string(i);
      EXPECT_EQ(ini.ReadString(section, key, "lost"), key);
    }
  }
}

TEST(IniFileProcesses, AWriterKilledAtAnyPointLeavesTheOldOrTheNewFile) {
  TempDir dir;
  std::string file = dir.file("Local.ini").string();
  constexpr int kKeys = 300;
  std::mt19937 rng(11);
  long last_seen = 0;
  for (int round = 0; round < 12; ++round) {
    QProcess writer;
    writer.start(kWriter, {QString::fromStdString(file), "generations", QString::number(kKeys)});
    ASSERT_TRUE(writer.waitForStarted());
    // Let it commit a few generations, then kill it wherever it is.
    int wanted = 1 + static_cast<int>(rng() % 4), seen = 0;
    while (seen < wanted && writer.waitForReadyRead(30000)) {
      while (writer.canReadLine()) {
        writer.readLine();
        ++seen;
      }
    }
    writer.kill();
    writer.waitForFinished();

    auto doc = IniFile(file).Snapshot();
    std::string first = doc->ReadString("Tool0", "K0", "");
    ASSERT_FALSE(first.empty()) << "round " << round;
    long generation = std::stol(first);
    EXPECT_GE(generation, 1);
    for (int k = 0; k < kKeys; ++k) {
      ASSERT_EQ(doc->ReadString("Tool" + std::to_string(k % 7), "K" + std::to_string(k), ""),
                std::to_string(generation) + std::string(k % 13, 'x'))
          << "torn file in round " << round;
    }
    last_seen = generation;
  }
  EXPECT_GE(last_seen, 1);
  // The next write clears temporaries that killed writers left behind.
  ASSERT_TRUE(IniFile(file).WriteString("After", "K", "1"));
  for (auto& entry : std::filesystem::directory_iterator(dir.path())) {
    std::string name = entry.path().filename().string();
    EXPECT_TRUE(name == "Local.ini" || name == "Local.ini.lock") << name;
  }
}

}  // namespace
}  // namespace rk5
