// Archives and folders made to harm the user: world-writable modes, links planted below
// the base folder, entries that share their bytes, and a disk left with no room to spare.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "extract_fixture.h"

namespace rk5::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// The process's file-creation mask, set for the life of the object.
class CreationMask {
 public:
  explicit CreationMask(mode_t mask) : old_(::umask(mask)) {}
  ~CreationMask() { ::umask(old_); }

 private:
  mode_t old_;
};

class HostileArchive : public ExtractTest {
 protected:
  ExtractResult ExtractWith(ArchivePlatform platform, const std::string& bytes) {
    WriteFileBytes(archive_, bytes);
    TArchiveExtractor x(std::move(platform));
    x.ExtractOptions = {eoCreateDirs, eoRestorePath};
    x.SetFileName(archive_.string());
    x.SetBaseDirectory(base_.string());
    return x.ExtractMatching("*.*");
  }
};

TEST_F(HostileArchive, StoredModesAreMaskedByTheUsersCreationMask) {
  CreationMask mask(027);
  Open(ZipBuilder()
           .File("Foo/open", "o")
           .UnixMode(0777)
           .File("Foo/shared", "s")
           .UnixMode(0666)
           .File("Foo/tool", "t")
           .UnixMode(0755));
  EXPECT_TRUE(ExtractAll().Complete());
  auto perms = [&](const char* name) { return fs::status(base_ / name).permissions(); };
  EXPECT_EQ(perms("Foo/open"), fs::perms(0750));
  EXPECT_EQ(perms("Foo/shared"), fs::perms(0640));
  EXPECT_EQ(perms("Foo/tool"), fs::perms(0750));
}

TEST_F(HostileArchive, NothingIsWrittenThroughALinkBelowTheBaseFolder) {
  const fs::path outside = dir_.path() / "outside";
  fs::create_directories(outside / "bin");
  fs::create_symlink(outside, base_ / "Foo");  // the tool's own folder
  fs::create_directories(base_ / "Bar");
  fs::create_symlink(outside, base_ / "Bar" / "deep");  // deeper down
  Open(ZipBuilder()
           .File("Foo/evil.txt", "evil")
           .File("Foo/bin/evil", "evil")
           .File("Foo/new/evil", "evil")
           .File("Bar/deep/evil.txt", "evil")
           .File("Bar/fine.txt", "fine"));
  ExtractResult r = ExtractAll();
  ASSERT_EQ(r.failures.size(), 4u);
  for (const FailedEntry& f : r.failures) EXPECT_EQ(f.kind, ExtractFailure::kLinkOnPath) << f.name;
  EXPECT_EQ(r.extracted, 1u);
  EXPECT_EQ(Read("Bar/fine.txt"), "fine");
  // The links stay links, and nothing arrived (not even a folder) where they lead.
  EXPECT_TRUE(fs::is_symlink(base_ / "Foo"));
  EXPECT_TRUE(fs::is_symlink(base_ / "Bar" / "deep"));
  EXPECT_THAT(FilesBelow(outside), IsEmpty());
  EXPECT_FALSE(fs::exists(outside / "new"));
}

TEST_F(HostileArchive, EntriesSharingTheirBytesAreDamagedAndDoNotCountForSpace) {
  // Three records of one stored megabyte: a few kilobytes that declare three megabytes.
  const std::string big(1 << 20, '\0');
  std::string zip = ZipBuilder()
                        .File("Foo/a.bin", big)
                        .File("Foo/b.bin", big)
                        .File("Foo/c.bin", big)
                        .File("Foo/own.txt", "own bytes")
                        .Bytes();
  ASSERT_LT(zip.size(), 20000u);
  PatchLocalOffset(zip, "Foo/b.bin", 0);
  PatchLocalOffset(zip, "Foo/c.bin", 0);
  ArchivePlatform p = ArchivePlatform::ThisSystem();
  p.space = std::make_shared<FixedSpace>(1000);  // room for the honest entry alone
  ExtractResult r = ExtractWith(p, zip);
  ASSERT_EQ(r.failures.size(), 3u);
  for (const FailedEntry& f : r.failures) EXPECT_EQ(f.kind, ExtractFailure::kDataDamaged) << f.name;
  EXPECT_EQ(r.extracted, 1u);
  EXPECT_THAT(FilesBelow(base_), ElementsAre("Foo/own.txt"));
}

TEST_F(HostileArchive, OneEntryInsideAnothersDataIsDamagedWithIt) {
  std::string zip = ZipBuilder()
                        .Stored("Foo/outer.bin", std::string(4000, 'o'))
                        .Stored("Foo/inner.bin", std::string(100, 'i'))
                        .Stored("Foo/after.txt", "after")
                        .Bytes();
  const CentralRecord outer = FindRecord(zip, "Foo/outer.bin");
  // The inner record now points into the middle of the outer entry's data.
  PatchLocalOffset(zip, "Foo/inner.bin", static_cast<std::uint32_t>(outer.data_offset + 1000));
  Open(zip);
  ExtractResult r = ExtractAll();
  ASSERT_EQ(r.failures.size(), 2u);
  EXPECT_EQ(r.failures[0].name, "Foo/outer.bin");
  EXPECT_EQ(r.failures[1].name, "Foo/inner.bin");
  EXPECT_EQ(r.failures[0].kind, ExtractFailure::kDataDamaged);
  EXPECT_THAT(FilesBelow(base_), ElementsAre("Foo/after.txt"));
}

TEST_F(HostileArchive, TheDiskKeepsAMarginOfFivePercentOrSixtyFourMebibytes) {
  const std::string zip = ZipBuilder().File("Foo/a.bin", std::string(2000, 'a')).Bytes();
  struct Case {
    std::uint64_t available, total;
    bool fits;
  };
  const std::uint64_t large = 100ull << 30;  // 5 % of it is more than 64 MiB
  for (const Case& c : {Case{2099, 2000, false}, Case{2100, 2000, true},
                        Case{2000 + (64ull << 20) - 1, large, false},
                        Case{2000 + (64ull << 20), large, true}}) {
    fs::remove_all(base_);
    fs::create_directory(base_);
    ArchivePlatform p = ArchivePlatform::ThisSystem();
    p.space = std::make_shared<FixedSpace>(c.available, c.total);
    ExtractResult r = ExtractWith(p, zip);
    EXPECT_EQ(r.Complete(), c.fits) << c.available << " of " << c.total;
    EXPECT_EQ(FilesBelow(base_).size(), c.fits ? 1u : 0u);
  }
}

}  // namespace
}  // namespace rk5::test
