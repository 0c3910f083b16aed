// Unpacking against a system that runs out of room or holds files open, through
// stand-ins for the system services, and the real services' own checks.
#include <gtest/gtest.h>

#include <set>

#include "extract_fixture.h"

namespace rk5::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// Real staged files, on a disk that is full when the named targets are written: each gets
// half its bytes. Writes run on several threads at once, so which file a shared count of
// room would refuse is left to chance; naming them is not.
class FullDiskStager : public platform::FileStager {
 public:
  explicit FullDiskStager(std::set<std::string> refused) : refused_(std::move(refused)) {}
  std::unique_ptr<platform::StagedFile> Stage(const std::string& target) override {
    auto real = real_->Stage(target);
    if (!real) return nullptr;
    return std::make_unique<Limited>(std::move(real), refused_.count(target) != 0);
  }

 private:
  class Limited : public platform::StagedFile {
   public:
    Limited(std::unique_ptr<platform::StagedFile> real, bool full) : real_(std::move(real)), full_(full) {}
    const std::string& TempPath() const override { return real_->TempPath(); }
    const std::string& Target() const override { return real_->Target(); }
    bool Write(const char* data, std::size_t size) override {
      if (!full_) return real_->Write(data, size);
      real_->Write(data, size / 2);  // what fitted
      return false;
    }
    bool Close() override { return real_->Close(); }
    bool MoveOverTarget() override { return real_->MoveOverTarget(); }
    void Discard() override { real_->Discard(); }

   private:
    std::unique_ptr<platform::StagedFile> real_;
    const bool full_;
  };
  std::unique_ptr<platform::FileStager> real_ = platform::MakeFileStager();
  const std::set<std::string> refused_;
};

// The real file tree, except that one file is held open by a running program.
class BusyFileTree : public platform::FileTree {
 public:
  explicit BusyFileTree(std::string busy) : busy_(std::move(busy)) {}
  bool FolderExists(const std::string& p) override { return real_->FolderExists(p); }
  bool Exists(const std::string& p) override { return real_->Exists(p); }
  bool CreateFolders(const std::string& p) override { return real_->CreateFolders(p); }
  bool CreateFoldersBelow(const std::string& b, const std::string& p) override {
    return real_->CreateFoldersBelow(b, p);
  }
  bool CanOpenForWriting(const std::string& p) override {
    return p != busy_ && real_->CanOpenForWriting(p);
  }
  bool RemoveFile(const std::string& p) override { return real_->RemoveFile(p); }
  bool LinkBetween(const std::string& base, const std::string& p) override {
    return real_->LinkBetween(base, p);
  }

 private:
  std::unique_ptr<platform::FileTree> real_ = platform::MakeFileTree();
  std::string busy_;
};

class SystemTest : public ::testing::Test {
 protected:
  SystemTest() { fs::create_directory(base_); }

  ExtractResult Extract(ArchivePlatform platform, const ZipBuilder& zip) {
    WriteFileBytes(archive_, zip.Bytes());
    TArchiveExtractor x(std::move(platform));
    x.ExtractOptions = {eoCreateDirs, eoRestorePath};
    reports_.Attach(x);
    x.SetFileName(archive_.string());
    x.SetBaseDirectory(base_.string());
    return x.ExtractMatching("*.*");
  }

  TempDir dir_;
  fs::path base_ = dir_.path() / "base";
  fs::path archive_ = dir_.path() / "tool.zip";
  Reports reports_;
};

TEST_F(SystemTest, AnArchiveLargerThanTheFreeSpaceWritesNothing) {
  ArchivePlatform p = ArchivePlatform::ThisSystem();
  p.space = std::make_shared<FixedSpace>(1500);
  // Compresses to almost nothing; the declared sizes count.
  ExtractResult r = Extract(p, ZipBuilder()
                                   .File("Foo/a.bin", std::string(1000, 'a'))
                                   .Folder("Foo/empty/")
                                   .File("Foo/b.bin", std::string(1000, 'b')));
  EXPECT_THAT(FilesBelow(base_), IsEmpty());
  ASSERT_EQ(r.failures.size(), 2u);
  EXPECT_EQ(r.failures[0].kind, ExtractFailure::kTooLarge);
  EXPECT_EQ(r.failures[1].kind, ExtractFailure::kTooLarge);
  EXPECT_THAT(reports_.progress, ElementsAre(33, 66, 100, 100));
}

TEST_F(SystemTest, AnArchiveThatFitsIsUnpacked) {
  ArchivePlatform p = ArchivePlatform::ThisSystem();
  p.space = std::make_shared<FixedSpace>(2000);
  ExtractResult r = Extract(p, ZipBuilder()
                                   .File("Foo/a.bin", std::string(1000, 'a'))
                                   .File("Foo/b.bin", std::string(1000, 'b')));
  EXPECT_TRUE(r.Complete());
  EXPECT_EQ(r.extracted, 2u);
}

TEST_F(SystemTest, AFullDiskFailsTheEntryAndKeepsTheOlderFile) {
  fs::create_directories(base_ / "Foo");
  WriteFileBytes(base_ / "Foo/b.bin", "older file");
  ArchivePlatform p = ArchivePlatform::ThisSystem();
  p.stager = std::make_shared<FullDiskStager>(
      std::set<std::string>{(base_ / "Foo/b.bin").string(), (base_ / "Foo/c.bin").string()});
  ExtractResult r = Extract(p, ZipBuilder()
                                   .File("Foo/a.bin", std::string(1000, 'a'))
                                   .File("Foo/b.bin", std::string(1000, 'b'))
                                   .File("Foo/c.bin", std::string(1000, 'c')));
  ASSERT_EQ(r.failures.size(), 2u);
  EXPECT_EQ(r.failures[0].name, "Foo/b.bin");
  EXPECT_EQ(r.failures[0].kind, ExtractFailure::kFileNotCreated);
  EXPECT_EQ(r.failures[1].name, "Foo/c.bin");
  EXPECT_EQ(ReadFileBytes(base_ / "Foo/b.bin"), "older file");
  EXPECT_THAT(FilesBelow(base_), ElementsAre("Foo/a.bin", "Foo/b.bin")) << "no partial file";
}

TEST_F(SystemTest, AFileHeldOpenByARunningProgramIsSkippedAndKept) {
  fs::create_directories(base_ / "Foo");
  WriteFileBytes(base_ / "Foo/tool", "running build");
  ArchivePlatform p = ArchivePlatform::ThisSystem();
  p.tree = std::make_shared<BusyFileTree>((base_ / "Foo/tool").string());
  ExtractResult r = Extract(p, ZipBuilder().File("Foo/tool", "new build").File("Foo/lib", "l"));
  ASSERT_EQ(r.failures.size(), 1u);
  EXPECT_EQ(r.failures[0].kind, ExtractFailure::kFileNotCreated);
  EXPECT_EQ(ReadFileBytes(base_ / "Foo/tool"), "running build");
  EXPECT_EQ(ReadFileBytes(base_ / "Foo/lib"), "l");
  EXPECT_EQ(reports_.confirm_names.size(), 1u) << "asked first, refused after";
}

TEST(FileTreeOnThisSystem, ARunningProgramCannotBeOpenedForWriting) {
  auto tree = platform::MakeFileTree();
  // This test's own executable is running; opening it for writing is refused even to root.
  std::string self = fs::read_symlink("/proc/self/exe").string();
  EXPECT_TRUE(tree->Exists(self));
  EXPECT_FALSE(tree->CanOpenForWriting(self));
  TempDir dir;
  WriteFileBytes(dir.file("plain"), "x");
  EXPECT_TRUE(tree->CanOpenForWriting(dir.file("plain").string()));
  EXPECT_FALSE(tree->CanOpenForWriting(dir.path().string())) << "a folder";
}

TEST(FileTreeOnThisSystem, CreateFoldersMakesEveryMissingParent) {
  auto tree = platform::MakeFileTree();
  TempDir dir;
  std::string deep = (dir.path() / "a/b/c").string();
  EXPECT_TRUE(tree->CreateFolders(deep));
  EXPECT_TRUE(tree->FolderExists(deep));
  EXPECT_TRUE(tree->CreateFolders(deep + "/")) << "a trailing separator";
  WriteFileBytes(dir.file("file"), "x");
  EXPECT_FALSE(tree->CreateFolders((dir.path() / "file/sub").string()));
  // Below a base: never through a link, whose target stays empty.
  fs::create_directory_symlink(dir.path() / "a/b", dir.file("a/link"));
  EXPECT_FALSE(tree->CreateFoldersBelow(dir.path().string(), (dir.path() / "a/link/x").string()));
  EXPECT_FALSE(fs::exists(dir.path() / "a/b/x"));
}

TEST(StagedFileOnThisSystem, TheTargetChangesOnlyWhenMoved) {
  TempDir dir;
  std::string target = dir.file("target").string();
  WriteFileBytes(target, "old");
  auto stager = platform::MakeFileStager();
  {
    auto staged = stager->Stage(target);
    ASSERT_TRUE(staged);
    EXPECT_TRUE(staged->Write("new", 3));
    EXPECT_TRUE(staged->Close());
    EXPECT_EQ(ReadFileBytes(target), "old");
    // Dropped without moving: the temporary file goes, the target stays.
  }
  EXPECT_THAT(FilesBelow(dir.path()), ElementsAre("target"));
  auto staged = stager->Stage(target);
  ASSERT_TRUE(staged);
  EXPECT_EQ(fs::path(staged->TempPath()).parent_path(), dir.path());
  EXPECT_TRUE(staged->Write("new", 3));
  EXPECT_TRUE(staged->Close());
  EXPECT_TRUE(staged->MoveOverTarget());
  EXPECT_EQ(ReadFileBytes(target), "new");
  EXPECT_THAT(FilesBelow(dir.path()), ElementsAre("target"));
  EXPECT_EQ(stager->Stage(dir.file("missing/target").string()), nullptr);
}

// One archive of 65,536 entries for every test here: more than a plain ZIP can count.
class ManyEntriesTest : public SystemTest {
 protected:
  static void SetUpTestSuite() {
    many_dir_ = new TempDir;
    WriteManyEntries(many_dir_->file("many.zip"), kCount);
  }
  static void TearDownTestSuite() {
    delete many_dir_;
    many_dir_ = nullptr;
  }
  static constexpr std::uint32_t kCount = 65536;
  static TempDir* many_dir_;
};
TempDir* ManyEntriesTest::many_dir_ = nullptr;

TEST_F(ManyEntriesTest, EveryEntryIsListedAndReported) {
  TArchiveExtractor x;
  x.ExtractOptions = {eoCreateDirs, eoRestorePath};
  reports_.Attach(x);
  x.SetFileName(many_dir_->file("many.zip").string());
  x.SetBaseDirectory(base_.string());
  ExtractResult r = x.ExtractMatching("many/6553?");
  EXPECT_EQ(r.entries, kCount);
  EXPECT_EQ(r.matched, 6u);
  EXPECT_EQ(r.extracted, 6u);
  EXPECT_THAT(FilesBelow(base_), ElementsAre("many/65530", "many/65531", "many/65532",
                                             "many/65533", "many/65534", "many/65535"));
  ASSERT_EQ(reports_.progress.size(), kCount + 1);
  EXPECT_EQ(reports_.progress[0], 0);
  EXPECT_EQ(reports_.progress[kCount / 2 - 1], 50);
  EXPECT_EQ(reports_.progress[kCount - 2], 99);
  EXPECT_EQ(reports_.progress[kCount - 1], 100);
  EXPECT_EQ(reports_.progress[kCount], 100);
}

}  // namespace
}  // namespace rk5::test
