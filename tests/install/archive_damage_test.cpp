// Damaged, hostile and oversized archives: every refusal leaves older files as they were,
// leaves no partial file, and writes nothing outside the base folder.
#include <gtest/gtest.h>

#include "extract_fixture.h"

namespace rk5::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// Everything in the scratch folder besides the base folder and the archive.
std::vector<std::string> StrayFiles(const TempDir& dir) {
  std::vector<std::string> stray;
  for (const auto& e : fs::recursive_directory_iterator(dir.path())) {
    auto rel = fs::relative(e.path(), dir.path()).generic_string();
    if (rel != "tool.zip" && rel != "base" && !rel.starts_with("base/")) stray.push_back(rel);
  }
  return stray;
}

class DamageTest : public ExtractTest {
 protected:
  void KeepOldFile(const std::string& relative) {
    fs::create_directories((base_ / relative).parent_path());
    WriteFileBytes(base_ / relative, "older file");
    fs::last_write_time(base_ / relative, old_time_);
  }
  void ExpectOldFile(const std::string& relative) {
    EXPECT_EQ(Read(relative), "older file") << relative;
    EXPECT_EQ(fs::last_write_time(base_ / relative), old_time_) << relative;
  }
  ExtractFailure OnlyFailure(const ExtractResult& r) {
    EXPECT_EQ(r.failures.size(), 1u);
    return r.failures.empty() ? ExtractFailure::kDataDamaged : r.failures[0].kind;
  }

  fs::file_time_type old_time_ = fs::file_time_type::clock::now() - std::chrono::hours(240);
};

TEST_F(DamageTest, DamagedDataLeavesTheOlderFileAndTheNextEntriesAreUnpacked) {
  KeepOldFile("Foo/a.bin");
  std::string zip =
      ZipBuilder().File("Foo/a.bin", std::string(4000, 'n')).File("Foo/b.txt", "b").Bytes();
  DamageData(zip, "Foo/a.bin");
  Open(zip);
  ExtractResult r = ExtractAll();
  EXPECT_EQ(OnlyFailure(r), ExtractFailure::kDataDamaged);
  ExpectOldFile("Foo/a.bin");
  EXPECT_EQ(Read("Foo/b.txt"), "b");
  EXPECT_THAT(FilesBelow(base_), ElementsAre("Foo/a.bin", "Foo/b.txt")) << "no partial file";
  EXPECT_THAT(reports_.progress, ElementsAre(50, 100, 100));
}

TEST_F(DamageTest, ADamagedNewFileLeavesNothingBehind) {
  std::string zip = ZipBuilder().File("Foo/a.bin", std::string(4000, 'n')).Bytes();
  DamageData(zip, "Foo/a.bin");
  Open(zip);
  ExtractAll();
  EXPECT_THAT(FilesBelow(base_), IsEmpty());
}

TEST_F(DamageTest, AChecksumMismatchIsAFailedEntryAndKeepsTheOlderFile) {
  for (bool stored : {false, true}) {
    SCOPED_TRACE(stored ? "stored" : "deflated");
    KeepOldFile("a.txt");
    ZipBuilder b;
    std::string data(3000, 'c');
    stored ? b.Stored("a.txt", data) : b.File("a.txt", data);
    std::string zip = b.File("b.txt", "b").Bytes();
    PatchCrc(zip, "a.txt", Crc32(data) ^ 1);
    Open(zip);
    ExtractResult r = ExtractAll();
    EXPECT_EQ(OnlyFailure(r), ExtractFailure::kChecksumMismatch);
    ExpectOldFile("a.txt");
    EXPECT_THAT(FilesBelow(base_), ElementsAre("a.txt", "b.txt"));
  }
}

TEST_F(DamageTest, EncryptedEntriesFailWithoutAnyFile) {
  KeepOldFile("Foo/secret.txt");
  Open(ZipBuilder().File("Foo/secret.txt", "secret data").Encrypted().File("Foo/open.txt", "o"));
  ExtractResult r = ExtractAll();
  EXPECT_EQ(OnlyFailure(r), ExtractFailure::kEncrypted);
  ExpectOldFile("Foo/secret.txt");
  EXPECT_THAT(FilesBelow(base_), ElementsAre("Foo/open.txt", "Foo/secret.txt"));
}

TEST_F(DamageTest, LinkEntriesAreNeverCreatedSoLaterEntriesCannotFollowThem) {
  fs::path outside = dir_.path() / "outside";
  fs::create_directory(outside);
  Open(ZipBuilder()
           .Link("Foo/up", outside.string())
           .File("Foo/up/evil.txt", "evil")
           .Link("Foo/rel", "../..")
           .File("Foo/rel/evil2.txt", "evil"));
  ExtractResult r = ExtractAll();
  ASSERT_EQ(r.failures.size(), 2u);
  EXPECT_EQ(r.failures[0].kind, ExtractFailure::kLinkEntry);
  EXPECT_EQ(r.failures[1].kind, ExtractFailure::kLinkEntry);
  EXPECT_FALSE(fs::is_symlink(base_ / "Foo/up"));
  EXPECT_TRUE(fs::is_directory(base_ / "Foo/up"));
  EXPECT_THAT(FilesBelow(outside), IsEmpty());
  EXPECT_THAT(FilesBelow(base_), ElementsAre("Foo/rel/evil2.txt", "Foo/up/evil.txt"));
  EXPECT_THAT(StrayFiles(dir_), ElementsAre("outside"));
}

TEST_F(DamageTest, NamesThatWouldLandOutsideTheBaseFolderWriteNothing) {
  std::string absolute = (dir_.path() / "absolute.txt").string();
  Open(ZipBuilder()
           .File("../climbed.txt", "evil")
           .File("Foo/../../climbed2.txt", "evil")
           .File("..\\climbed3.txt", "evil")
           .File(absolute, "evil")
           .File("C:\\drive.txt", "evil")
           .File("Foo/ok.txt", "fine"));
  ExtractResult r = ExtractAll();
  ASSERT_EQ(r.failures.size(), 5u);
  for (const FailedEntry& f : r.failures) {
    EXPECT_EQ(f.kind, ExtractFailure::kOutsideBaseFolder) << f.name;
  }
  EXPECT_THAT(FilesBelow(base_), ElementsAre("Foo/ok.txt"));
  EXPECT_THAT(StrayFiles(dir_), IsEmpty());
}

TEST_F(DamageTest, MoreDataThanDeclaredIsCutOffAndFails) {
  for (bool stored : {false, true}) {
    SCOPED_TRACE(stored ? "stored" : "deflated");
    KeepOldFile("a.bin");
    ZipBuilder b;
    std::string data(100000, 'x');
    stored ? b.Stored("a.bin", data) : b.File("a.bin", data);
    std::string zip = b.Bytes();
    CentralRecord rec = FindRecord(zip, "a.bin");
    PatchSizes(zip, "a.bin", rec.compressed_size, 100);
    Open(zip);
    ExtractResult r = ExtractAll();
    EXPECT_EQ(OnlyFailure(r), ExtractFailure::kTooLarge);
    ExpectOldFile("a.bin");
    EXPECT_THAT(FilesBelow(base_), ElementsAre("a.bin"));
  }
}

TEST_F(DamageTest, LessDataThanDeclaredIsDamage) {
  std::string zip = ZipBuilder().File("a.bin", std::string(10000, 'x')).Bytes();
  CentralRecord rec = FindRecord(zip, "a.bin");
  PatchSizes(zip, "a.bin", rec.compressed_size, 20000);
  Open(zip);
  EXPECT_EQ(OnlyFailure(ExtractAll()), ExtractFailure::kDataDamaged);
  EXPECT_THAT(FilesBelow(base_), IsEmpty());
}

TEST_F(DamageTest, ACentralDirectoryThatLiesAboutOffsetsFailsTheEntriesItTouches) {
  std::string zip =
      ZipBuilder().File("a.txt", std::string(500, 'a')).File("b.txt", std::string(700, 'b')).Bytes();
  std::string lie_past_end = zip, lie_other = zip;
  PatchLocalOffset(lie_past_end, "a.txt", static_cast<std::uint32_t>(zip.size() + 1000));
  // Pointing b's record at a's local header makes the two share their bytes: both damaged.
  PatchLocalOffset(lie_other, "b.txt", 0);
  struct Case {
    const std::string& bytes;
    std::size_t failed;
  };
  for (const Case& c : {Case{lie_past_end, 1}, Case{lie_other, 2}}) {
    fs::remove_all(base_);
    fs::create_directory(base_);
    Open(c.bytes);
    ExtractResult r = ExtractAll();
    ASSERT_EQ(r.failures.size(), c.failed);
    for (const FailedEntry& f : r.failures) EXPECT_EQ(f.kind, ExtractFailure::kDataDamaged) << f.name;
    EXPECT_EQ(r.extracted, 2u - c.failed);
    EXPECT_EQ(FilesBelow(base_).size(), 2u - c.failed);
  }
}

TEST_F(DamageTest, NamesWithNulOrControlBytesNeverBecomeOddFiles) {
  std::string zip = ZipBuilder().File("Foo/a_b.txt", "nul").File("Foo/bell_.txt", "bell").Bytes();
  PatchName(zip, "Foo/a_b.txt", std::string("Foo/a\0b.txt", 11));
  PatchName(zip, "Foo/bell_.txt", "Foo/bell\a.txt");
  Open(zip);
  ExtractResult r = ExtractAll();
  // libzip reads a NUL inside a name as a space, and a name with control bytes that is
  // not declared UTF-8 as code page 437, where they are symbols.
  EXPECT_THAT(FilesBelow(base_), ElementsAre("Foo/a b.txt", "Foo/bell\u2022.txt"));
  EXPECT_TRUE(r.Complete());

  // Declared UTF-8, such a name makes the directory unreadable.
  zip = ZipBuilder().File("Foo/esc_.txt", "escape").Bytes();
  PatchName(zip, "Foo/esc_.txt", "Foo/esc\x1b.txt");
  PatchFlags(zip, "Foo/esc\x1b.txt", 1u << 11);
  WriteFileBytes(archive_, zip);
  EXPECT_THROW(x_.SetFileName(archive_.string()), ArchiveError);
}

TEST_F(DamageTest, NamesOfSixtyThousandBytesFailAsEntries) {
  std::string long_part(60000, 'n');
  Open(ZipBuilder().File("Foo/" + long_part, "f").File(long_part + "/x", "x").File("ok", "ok"));
  ExtractResult r = ExtractAll();
  ASSERT_EQ(r.failures.size(), 2u);
  EXPECT_EQ(r.failures[0].kind, ExtractFailure::kFileNotCreated);
  EXPECT_EQ(r.failures[1].kind, ExtractFailure::kFolderNotCreated);
  EXPECT_THAT(FilesBelow(base_), ElementsAre("ok"));
}

TEST_F(DamageTest, ADuplicateNameReplacesTheFirstCopyAfterConfirmation) {
  std::string zip = ZipBuilder().File("Foo/a.txt", "first").File("Foo/b.txt", "second").Bytes();
  PatchName(zip, "Foo/b.txt", "Foo/a.txt");
  Open(zip);
  ExtractResult r = ExtractAll();
  EXPECT_EQ(Read("Foo/a.txt"), "second");
  EXPECT_EQ(reports_.confirm_names.size(), 1u);
  EXPECT_EQ(r.extracted, 2u);
}

TEST_F(DamageTest, ATargetFolderThatIsAFileFailsTheEntry) {
  WriteFileBytes(base_ / "Foo", "a file where a folder should be");
  Open(ZipBuilder().File("Foo/a.txt", "a"));
  EXPECT_EQ(OnlyFailure(ExtractAll()), ExtractFailure::kFolderNotCreated);
  EXPECT_EQ(Read("Foo"), "a file where a folder should be");
}

TEST_F(DamageTest, ATargetThatIsAFolderIsNotReplaced) {
  fs::create_directories(base_ / "Foo/a.txt/inside");
  Open(ZipBuilder().File("Foo/a.txt", "a"));
  EXPECT_EQ(OnlyFailure(ExtractAll()), ExtractFailure::kFileNotCreated);
  EXPECT_TRUE(fs::is_directory(base_ / "Foo/a.txt/inside"));
}

}  // namespace
}  // namespace rk5::test
