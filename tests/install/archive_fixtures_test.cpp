// Archives made by other tools: Info-ZIP zip (a tool tree, Unix modes with an
// executable, data descriptors) and one laid out as a Windows archiver writes it.
#include <gtest/gtest.h>

#include <cstdlib>

#include "extract_fixture.h"

namespace rk5::test {
namespace {

using ::testing::ElementsAre;

fs::path Fixture(const char* name) {
  return fs::path(RK5_TEST_SOURCE_DIR) / "install" / "fixtures" / name;
}

// Every fixture file says 2019-05-06 07:08:10 in its DOS date and time.
const DosStamp kFixtureStamp = DosStamp::Of(2019, 5, 6, 7, 8, 10);

std::string Quoted(const fs::path& p) { return "'" + p.string() + "'"; }

class FixtureTest : public ExtractTest {
 protected:
  void OpenFixture(const char* name) {
    x_.SetFileName(Fixture(name).string());
    x_.SetBaseDirectory(base_.string());
  }
};

TEST_F(FixtureTest, AnInfoZipTreeUnpacksWithItsDatesAndWithoutEmptyFolders) {
  OpenFixture("infozip_tree.zip");
  ExtractResult r = ExtractAll();
  EXPECT_TRUE(r.Complete());
  EXPECT_THAT(FilesBelow(base_), ElementsAre("Foo/README", "Foo/bin/tool.sh", "Foo/doc/notes.txt"));
  EXPECT_FALSE(fs::exists(base_ / "Foo/empty"));
  EXPECT_EQ(Read("Foo/README"), "Read me first.\n");
  std::string notes;
  for (int i = 1; i <= 200; ++i) notes += "line " + std::to_string(i) + " of the notes\n";
  EXPECT_EQ(Read("Foo/doc/notes.txt"), notes);
  for (const char* f : {"Foo/README", "Foo/bin/tool.sh", "Foo/doc/notes.txt"}) {
    EXPECT_EQ(ModifiedSeconds(base_ / f), kFixtureStamp.LocalSeconds()) << f;
  }
  EXPECT_EQ(fs::status(base_ / "Foo/README").permissions(), fs::perms(0644));
}

TEST_F(FixtureTest, AnExecutableStoredWithItsBitRunsAfterUnpacking) {
  OpenFixture("infozip_tree.zip");
  ExtractAll();
  fs::path tool = base_ / "Foo/bin/tool.sh";
  EXPECT_EQ(fs::status(tool).permissions(), fs::perms(0755));
  fs::path out = dir_.path() / "ran.txt";
  // Started directly, not through "sh", so that only the executable bit lets it run.
  ASSERT_EQ(std::system((Quoted(tool) + " " + Quoted(out)).c_str()), 0);
  EXPECT_EQ(ReadFileBytes(out), "tool ran\n");
}

TEST_F(FixtureTest, UnixModesAreRestoredExceptSetIdAndLinks) {
  OpenFixture("unix_modes.zip");
  ExtractResult r = ExtractAll();
  auto perms = [&](const char* f) { return fs::status(base_ / "Modes" / f).permissions(); };
  EXPECT_EQ(perms("run.sh"), fs::perms(0755));
  EXPECT_EQ(perms("secret.key"), fs::perms(0600));
  EXPECT_EQ(perms("readonly.txt"), fs::perms(0444));
  EXPECT_EQ(perms("setid.sh"), fs::perms(0755));
  ASSERT_EQ(r.failures.size(), 1u);
  EXPECT_EQ(r.failures[0].name, "Modes/link");
  EXPECT_EQ(r.failures[0].kind, ExtractFailure::kLinkEntry);
  EXPECT_FALSE(fs::exists(fs::symlink_status(base_ / "Modes/link")));
}

TEST_F(FixtureTest, EntriesWithDataDescriptorsUnpack) {
  OpenFixture("streamed.zip");
  ExtractResult r = ExtractAll();
  EXPECT_TRUE(r.Complete());
  EXPECT_EQ(Read("Foo/README"), "Read me first.\n");
  EXPECT_EQ(Read("Foo/doc/notes.txt").size(), 4292u);
}

TEST_F(FixtureTest, AWindowsArchiveUsesBackslashesAsFoldersAndItsReadOnlyBit) {
  Open(WindowsStyleTool("Foo"));
  ExtractResult r = ExtractAll();
  EXPECT_TRUE(r.Complete());
  EXPECT_EQ(r.matched, 3u);
  EXPECT_THAT(FilesBelow(base_),
              ElementsAre("Foo/Data/settings.ini", "Foo/bin/TOOL.EXE", "Foo/readme.txt"));
  EXPECT_FALSE(fs::exists(base_ / "Foo/Empty"));
  auto write_bits = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
  EXPECT_EQ(fs::status(base_ / "Foo/readme.txt").permissions() & write_bits, fs::perms::none);
  EXPECT_NE(fs::status(base_ / "Foo/bin/TOOL.EXE").permissions() & fs::perms::owner_write,
            fs::perms::none);
  EXPECT_EQ(Read("Foo/Data/settings.ini"), "[Main]\r\nKey=1\r\n");
}

}  // namespace
}  // namespace rk5::test
