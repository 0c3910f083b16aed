// Unpacking archives built by the tests: paths, folders, overwriting, progress, abort,
// the base folder and opening.
#include <gtest/gtest.h>

#include "extract_fixture.h"

namespace rk5::test {
namespace {

using ::testing::ElementsAre;

TEST_F(ExtractTest, RestorePathKeepsStoredFoldersAndCreatesThem) {
  Open(ZipBuilder().File("Foo/bin/tool.exe", "binary").File("Foo/doc/a.txt", "text"));
  ExtractResult r = ExtractAll();
  EXPECT_EQ(Read("Foo/bin/tool.exe"), "binary");
  EXPECT_EQ(Read("Foo/doc/a.txt"), "text");
  EXPECT_EQ(r.entries, 2u);
  EXPECT_EQ(r.extracted, 2u);
  EXPECT_TRUE(r.Complete());
}

TEST_F(ExtractTest, WithoutRestorePathOnlyTheFileNameIsKept) {
  x_.ExtractOptions = {eoCreateDirs};
  Open(ZipBuilder().File("Foo/bin/tool.exe", "binary"));
  ExtractAll();
  EXPECT_THAT(FilesBelow(base_), ElementsAre("tool.exe"));
}

TEST_F(ExtractTest, FolderEntriesAloneCreateNothingAndNamesWithoutDotAreFiles) {
  Open(ZipBuilder().Folder("Foo/").Folder("Foo/empty/").File("Foo/README", "read me"));
  ExtractResult r = ExtractAll();
  EXPECT_EQ(Read("Foo/README"), "read me");
  EXPECT_FALSE(fs::exists(base_ / "Foo" / "empty"));
  EXPECT_EQ(r.entries, 3u);
  EXPECT_EQ(r.matched, 1u);
}

TEST_F(ExtractTest, WithoutCreateDirsAMissingFolderFailsTheEntry) {
  x_.ExtractOptions = {eoRestorePath};
  fs::create_directory(base_ / "Have");
  Open(ZipBuilder().File("Missing/a.txt", "a").File("Have/b.txt", "b"));
  ExtractResult r = ExtractAll();
  EXPECT_FALSE(fs::exists(base_ / "Missing"));
  EXPECT_EQ(Read("Have/b.txt"), "b");
  ASSERT_EQ(r.failures.size(), 1u);
  EXPECT_EQ(r.failures[0].name, "Missing/a.txt");
  EXPECT_EQ(r.failures[0].kind, ExtractFailure::kFolderNotCreated);
  EXPECT_THAT(reports_.failures,
              ElementsAre(std::pair{std::string("Missing/a.txt"), ExtractFailure::kFolderNotCreated}));
}

TEST_F(ExtractTest, AnExistingFileIsConfirmedByFullPathAndReplacedWithTheEntrysDate) {
  fs::create_directories(base_ / "Foo");
  WriteFileBytes(base_ / "Foo/a.txt", "old contents");
  DosStamp stamp = DosStamp::Of(2019, 11, 12, 13, 14, 16);
  Open(ZipBuilder().File("Foo/a.txt", "new").Time(stamp).File("Foo/b.txt", "b"));
  bool confirm_on_entry = false;
  x_.OnConfirmOverwrite = [&](std::string& name, bool& confirm) {
    reports_.confirm_names.push_back(name);
    confirm_on_entry = confirm;
  };
  ExtractResult r = ExtractAll();
  EXPECT_THAT(reports_.confirm_names, ElementsAre((base_ / "Foo/a.txt").string()));
  EXPECT_TRUE(confirm_on_entry);
  EXPECT_EQ(Read("Foo/a.txt"), "new");
  EXPECT_EQ(ModifiedSeconds(base_ / "Foo/a.txt"), stamp.LocalSeconds());
  EXPECT_EQ(ModifiedSeconds(base_ / "Foo/b.txt"), ZipBuilder::DefaultStamp().LocalSeconds());
  EXPECT_EQ(r.extracted, 2u);
}

TEST_F(ExtractTest, UnboundConfirmationOverwrites) {
  x_.OnConfirmOverwrite = nullptr;
  WriteFileBytes(base_ / "a.txt", "old");
  Open(ZipBuilder().File("a.txt", "new"));
  ExtractAll();
  EXPECT_EQ(Read("a.txt"), "new");
}

TEST_F(ExtractTest, DecliningKeepsTheOldFileWithoutAFailure) {
  WriteFileBytes(base_ / "a.txt", "old");
  Open(ZipBuilder().File("a.txt", "new").File("b.txt", "b"));
  x_.OnConfirmOverwrite = [](std::string&, bool& confirm) { confirm = false; };
  ExtractResult r = ExtractAll();
  EXPECT_EQ(Read("a.txt"), "old");
  EXPECT_EQ(Read("b.txt"), "b");
  EXPECT_EQ(r.declined, 1u);
  EXPECT_EQ(r.extracted, 1u);
  EXPECT_TRUE(r.Complete());
}

TEST_F(ExtractTest, AChangedNameWritesTheEntryThere) {
  WriteFileBytes(base_ / "a.txt", "old");
  Open(ZipBuilder().File("a.txt", "new"));
  std::string elsewhere = (base_ / "a.new").string();
  x_.OnConfirmOverwrite = [&](std::string& name, bool&) { name = elsewhere; };
  ExtractAll();
  EXPECT_EQ(Read("a.txt"), "old");
  EXPECT_EQ(Read("a.new"), "new");
}

TEST_F(ExtractTest, ProgressCountsEveryEntryFoldersIncludedThenOnceMore) {
  Open(ZipBuilder().Folder("Foo/").File("Foo/a", "a").File("Foo/b", "b"));
  ExtractAll();
  EXPECT_THAT(reports_.progress, ElementsAre(33, 66, 100, 100));
}

TEST_F(ExtractTest, AFailedEntryStillReportsItsProgress) {
  Open(ZipBuilder().File("a", "a").Link("b", "/etc").File("c", "c").File("d", "d"));
  ExtractResult r = ExtractAll();
  EXPECT_THAT(reports_.progress, ElementsAre(25, 50, 75, 100, 100));
  ASSERT_EQ(r.failures.size(), 1u);
  EXPECT_EQ(r.failures[0].index, 1u);
  EXPECT_EQ(r.extracted, 3u);
}

TEST_F(ExtractTest, EntriesTheMaskLeavesOutStillReportProgress) {
  Open(ZipBuilder().File("Foo/a.txt", "a").File("Foo/b.exe", "b"));
  ExtractResult r = x_.ExtractMatching("*.TXT");
  EXPECT_THAT(FilesBelow(base_), ElementsAre("Foo/a.txt"));
  EXPECT_THAT(reports_.progress, ElementsAre(50, 100, 100));
  EXPECT_EQ(r.matched, 1u);
}

TEST_F(ExtractTest, EntriesUnpackedAheadFindWhatTheEarlierOnesLeft) {
  // More entries than are ever under way at once; a name met twice, and a file where a
  // later name needs a folder, each close enough to be unpacked together.
  ZipBuilder zip;
  for (int i = 0; i < 12; ++i) zip.File("Foo/f" + std::to_string(i), std::string(70000 + i, 'a' + i));
  zip.File("Foo/twice", "first").File("Foo/x", "a file").File("Foo/twicf", "second").File("Foo/x/y", "y");
  std::string bytes = zip.Bytes();
  PatchName(bytes, "Foo/twicf", "Foo/twice");
  x_.OnConfirmOverwrite = [&](std::string& name, bool& confirm) {
    reports_.confirm_names.push_back(name);
    confirm = false;
  };
  Open(bytes);
  ExtractResult r = ExtractAll();
  EXPECT_EQ(ReadFileBytes(base_ / "Foo/twice"), "first") << "the second was asked about";
  EXPECT_EQ(r.declined, 1u);
  EXPECT_EQ(ReadFileBytes(base_ / "Foo/x"), "a file");
  EXPECT_THAT(reports_.failures, ElementsAre(std::pair{std::string("Foo/x/y"), ExtractFailure::kFolderNotCreated}));
  for (int i = 0; i < 12; ++i) {
    EXPECT_EQ(ReadFileBytes(base_ / ("Foo/f" + std::to_string(i))), std::string(70000 + i, 'a' + i));
  }
}

TEST_F(ExtractTest, AnEmptyArchiveReportsOnlyTheFinalHundred) {
  Open(ZipBuilder());
  ExtractResult r = ExtractAll();
  EXPECT_THAT(reports_.progress, ElementsAre(100));
  EXPECT_EQ(r.entries, 0u);
}

TEST_F(ExtractTest, AbortStopsAtOnceAndRaisesToTheCaller) {
  Open(ZipBuilder().File("a", "a").File("b", "b").File("c", "c"));
  x_.OnArchiveProgress = [&](TArchiveExtractor&, std::uint8_t p, bool& abort) {
    reports_.progress.push_back(p);
    abort = true;
  };
  EXPECT_THROW(ExtractAll(), ArchiveAborted);
  EXPECT_THAT(reports_.progress, ElementsAre(33));
  EXPECT_THAT(FilesBelow(base_), ElementsAre("a"));
  EXPECT_EQ(x_.LastResult().extracted, 1u);
}

TEST_F(ExtractTest, BaseDirectoryIsNormalisedAndCheckedWhileAnArchiveIsOpen) {
  Open(ZipBuilder().File("a", "a"));
  x_.SetBaseDirectory(base_.string() + "/");
  EXPECT_EQ(x_.BaseDirectory(), base_.string());
  x_.SetBaseDirectory("/");
  EXPECT_EQ(x_.BaseDirectory(), "/");
  x_.SetBaseDirectory("");
  EXPECT_EQ(x_.BaseDirectory(), "");
  x_.SetBaseDirectory(base_.string());
  EXPECT_THROW(x_.SetBaseDirectory((dir_.path() / "missing").string()), ArchiveError);
  EXPECT_EQ(x_.BaseDirectory(), base_.string()) << "a refused value leaves the old one";
  WriteFileBytes(dir_.path() / "plain", "x");
  EXPECT_THROW(x_.SetBaseDirectory((dir_.path() / "plain").string()), ArchiveError);
}

TEST_F(ExtractTest, BaseDirectorySetWithoutArchiveIsCheckedAtTheNextOpen) {
  WriteFileBytes(archive_, ZipBuilder().File("a", "a").Bytes());
  x_.SetBaseDirectory(base_.string() + "/");
  EXPECT_EQ(x_.BaseDirectory(), base_.string() + "/") << "kept as given";
  x_.SetFileName(archive_.string());
  EXPECT_EQ(x_.BaseDirectory(), base_.string());

  x_.SetFileName("");
  x_.SetBaseDirectory((dir_.path() / "missing/").string());
  EXPECT_THROW(x_.SetFileName(archive_.string()), ArchiveError);
  EXPECT_EQ(x_.FileName(), "");
  EXPECT_THROW(ExtractAll(), ArchiveError) << "nothing is open after a refused open";
}

TEST_F(ExtractTest, AnEmptyBaseDirectoryMeansTheCurrentFolder) {
  // Entries under a name of this test's own, relative to the working folder.
  std::string top = "rk5-relative-" + dir_.path().filename().string();
  Open(ZipBuilder().File(top + "/a.txt", "a"));
  x_.SetBaseDirectory("");
  ExtractAll();
  EXPECT_EQ(ReadFileBytes(fs::current_path() / top / "a.txt"), "a");
  fs::remove_all(fs::current_path() / top);
}

TEST_F(ExtractTest, FilesThatAreNoReadableArchiveRaiseOnOpen) {
  std::string good = ZipBuilder().File("Foo/a.txt", std::string(5000, 'a')).Bytes();
  const std::vector<std::pair<std::string, std::string>> bad = {
      {"text", "<html>404 Not Found</html>"},
      {"empty", ""},
      {"truncated", good.substr(0, good.size() / 2)},
      {"no end record", good.substr(0, good.size() - 10)},
  };
  for (const auto& [what, bytes] : bad) {
    WriteFileBytes(archive_, good);
    x_.SetFileName(archive_.string());
    ASSERT_EQ(x_.FileName(), archive_.string());
    WriteFileBytes(archive_, bytes);
    EXPECT_THROW(x_.SetFileName(archive_.string()), ArchiveError) << what;
    EXPECT_EQ(x_.FileName(), "") << what;
  }
  EXPECT_THROW(x_.SetFileName((dir_.path() / "missing.zip").string()), ArchiveError);
}

TEST_F(ExtractTest, OpeningAndUnpackingNeverChangeTheArchive) {
  std::string bytes = ZipBuilder().File("a", "a").File("b", "b").Bytes();
  Open(bytes);
  ExtractAll();
  x_.SetFileName("");
  EXPECT_EQ(ReadFileBytes(archive_), bytes);
}

TEST_F(ExtractTest, UnpackingWithoutAnOpenArchiveRaises) {
  EXPECT_THROW(x_.ExtractMatching("*.*"), ArchiveError);
}

TEST_F(ExtractTest, UnixPermissionBitsAreRestoredWithoutSetIdBits) {
  Open(ZipBuilder()
           .File("tool", "#!/bin/sh\n")
           .UnixMode(0755)
           .File("private", "p")
           .UnixMode(0600)
           .File("setuid", "s")
           .UnixMode(04755));
  ExtractAll();
  auto perms = [&](const char* name) { return fs::status(base_ / name).permissions(); };
  EXPECT_EQ(perms("tool"), fs::perms(0755));
  EXPECT_EQ(perms("private"), fs::perms(0600));
  EXPECT_EQ(perms("setuid"), fs::perms(0755));
}

TEST_F(ExtractTest, TheDosReadOnlyBitRemovesWriteAccessAndNothingElse) {
  Open(ZipBuilder()
           .File("locked.txt", "l")
           .DosAttributes(0x21)
           .File("plain.txt", "p")
           .DosAttributes(0x20));
  ExtractAll();
  auto write_bits = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
  EXPECT_EQ(fs::status(base_ / "locked.txt").permissions() & write_bits, fs::perms::none);
  EXPECT_NE(fs::status(base_ / "plain.txt").permissions() & fs::perms::owner_write,
            fs::perms::none);
  EXPECT_NE(fs::status(base_ / "locked.txt").permissions() & fs::perms::owner_read,
            fs::perms::none);
}

}  // namespace
}  // namespace rk5::test
