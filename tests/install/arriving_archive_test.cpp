// Unpacking while the archive arrives, against unpacking the finished file: archives whose
// local headers lie, that are cut short or put their central directory first must end
// exactly as the normal unpacking ends them, byte for byte, or fail with nothing moved in.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <numeric>
#include <thread>

#include "install/archive_digest.h"
#include "install/arriving_archive.h"
#include "install/install_manifest.h"
#include "install/unpack_ahead.h"
#include "install/tool_installation.h"
#include "support/temp_dir.h"
#include "support/tree_snapshot.h"
#include "support/zip_builder.h"

namespace rk5::test {
namespace {

namespace fs = std::filesystem;

// The honest archive with one lie told.
std::string Lying(const std::string& zip, const std::function<void(std::string&)>& lie) {
  std::string bytes = zip;
  lie(bytes);
  return bytes;
}

std::string Honest() {
  std::string big(300 * 1024, '\0');
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>((i * 7919) >> 5);
  return ZipBuilder()
      .Folder("Foo/")
      .File("Foo/tool.bin", big)
      .UnixMode(0100755)
      .Stored("Foo/data/a.txt", "stored text")
      .File("Foo/data/b.txt", std::string(5000, 'b'))
      .Time(DosStamp::Of(2020, 1, 2, 3, 4, 6))
      .File("Foo/readme.txt", "read me")
      .Bytes();
}

// The pass at its full extent: Finish stops it where it is, so it is given the time to go
// through every byte first (it ends by itself at the directory or at what it cannot settle).
const std::vector<ArrivedEntry>& ThroughAll(SpeculativeUnpack& pass) {
  for (const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);
       !pass.Ended() && std::chrono::steady_clock::now() < limit;) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_TRUE(pass.Ended());
  return pass.Finish();
}

struct Outcome {
  InstallFailure failure = InstallFailure::kNone;
  TreeSnapshot tree;
  std::map<std::string, std::pair<fs::file_time_type, fs::perms>> meta;
  bool pass_taken = false;
};

class ArrivingArchiveTest : public ::testing::Test {
 protected:
  // Installs `zip` under a base of its own: fed to a pass chunk by chunk as a fetch writes
  // it when `streamed`, from the finished file otherwise. The tree is what Unpack left in
  // the staging folder (empty after a failure).
  Outcome Install(const std::string& zip, bool streamed, const std::string& label) {
    const fs::path base = dir_.path() / label;
    fs::create_directories(base);
    const std::string archive = (dir_.path() / (label + ".zip")).string();
    ToolInstallation installation(InstallPlatform::ThisSystem(), base.string(), "Foo");
    std::unique_ptr<platform::FileStager> stager = platform::MakeFileStager();
    ArrivingArchive arriving(*stager);
    std::optional<SpeculativeUnpack> pass;
    if (streamed) {
      pass.emplace(arriving, ArchivePlatform::ThisSystem(), [&]() -> std::optional<std::string> {
        if (!installation.Begin()) return std::nullopt;
        return installation.UnpackFolder();
      });
      std::unique_ptr<platform::StagedFile> file = arriving.Stage(archive);
      for (std::size_t at = 0; at < zip.size(); at += 7000) file->Write(zip.data() + at, std::min<std::size_t>(7000, zip.size() - at));
      EXPECT_TRUE(file->Close() && file->MoveOverTarget());
    } else {
      WriteFileBytes(archive, zip);
    }
    const std::vector<ArrivedEntry>* arrived = pass ? &ThroughAll(*pass) : nullptr;
    // A link to each file the pass wrote shows afterwards whether its file was kept.
    const fs::path witness = dir_.path() / (label + "-witness");
    fs::create_directories(witness);
    const fs::path staged = installation.UnpackFolder().empty() ? fs::path() : fs::path(installation.UnpackFolder());
    if (!staged.empty() && fs::exists(staged / "Foo/tool.bin")) fs::create_hard_link(staged / "Foo/tool.bin", witness / "tool.bin");

    TArchiveExtractor unzip;
    unzip.ExtractOptions = {eoCreateDirs, eoRestorePath};
    Outcome out;
    out.failure = installation.Unpack(unzip, archive, arrived).failure;
    const fs::path folder = installation.UnpackFolder();
    if (out.failure == InstallFailure::kNone) {
      out.tree = SnapshotTree(folder);
      for (const auto& e : fs::recursive_directory_iterator(folder)) {
        if (e.is_regular_file()) out.meta[e.path().lexically_relative(folder).string()] = {e.last_write_time(), e.status().permissions()};
      }
      out.pass_taken = fs::exists(witness / "tool.bin") && fs::equivalent(witness / "tool.bin", folder / "Foo/tool.bin");
    }
    return out;
  }

  TempDir dir_;
};

TEST_F(ArrivingArchiveTest, EveryArchiveEndsAsTheNormalUnpackingEndsIt) {
  const std::string honest = Honest();
  const std::size_t cut = FindRecord(honest, "Foo/data/b.txt").data_offset + 10;
  struct Case {
    const char* what;
    std::string zip;
    bool taken;  // the pass's files are kept
  };
  const Case cases[] = {
      {"honest", honest, true},
      {"renamed in its local header",
       Lying(honest, [](std::string& z) { PatchLocalName(z, "Foo/readme.txt", "Foo/readme.exe"); }), false},
      {"an extra local entry", Lying(honest, [](std::string& z) { DropCentralRecord(z, "Foo/data/a.txt"); }), false},
      {"a changed size in its local header",
       Lying(honest, [](std::string& z) { PatchLocalOnly(z, "Foo/data/b.txt", LocalField::kSize, 4999); }), false},
      {"a forged CRC in its local header",
       Lying(honest, [](std::string& z) { PatchLocalOnly(z, "Foo/data/b.txt", LocalField::kCrc, 0x1234); }), false},
      {"a forged CRC in both headers", Lying(honest, [](std::string& z) { PatchCrc(z, "Foo/data/b.txt", 0x1234); }), false},
      {"cut mid-entry", honest.substr(0, cut), false},
      // The pass stops at sizes that follow the data; what it wrote before is kept.
      {"a later entry the pass leaves alone", Lying(honest, [](std::string& z) { PatchFlags(z, "Foo/data/a.txt", 0x0008); }), true},
      {"the central directory first", DirectoryFirst(honest), false},
  };
  int label = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Outcome normal = Install(c.zip, false, "n" + std::to_string(label));
    const Outcome streamed = Install(c.zip, true, "s" + std::to_string(label++));
    EXPECT_EQ(streamed.failure, normal.failure);
    EXPECT_EQ(TreeDifference(normal.tree, streamed.tree), "");
    EXPECT_EQ(streamed.meta, normal.meta);
    EXPECT_EQ(streamed.pass_taken, c.taken);
  }
}

TEST_F(ArrivingArchiveTest, TheDigestOfWhatWentByIsTheFilesOnlyForOneWholeStaging) {
  const std::string data = Honest();
  const std::string file = dir_.file("a.zip").string();
  std::unique_ptr<platform::FileStager> stager = platform::MakeFileStager();
  ArrivingArchive arriving(*stager, true);
  std::unique_ptr<platform::StagedFile> staged = arriving.Stage(file);
  for (std::size_t at = 0; at < data.size(); at += 1025) staged->Write(data.data() + at, std::min<std::size_t>(1025, data.size() - at));
  EXPECT_EQ(arriving.Sha256(), std::nullopt);  // not closed yet
  ASSERT_TRUE(staged->Close() && staged->MoveOverTarget());
  EXPECT_EQ(arriving.Sha256(), Sha256OfFile(file));
  // A second staging (a retried fetch) leaves the file to be read again.
  ArrivingArchive retried(*stager, true);
  retried.Stage(file)->Discard();
  std::unique_ptr<platform::StagedFile> again = retried.Stage(file);
  ASSERT_TRUE(again->Write(data.data(), data.size()) && again->Close());
  EXPECT_EQ(retried.Sha256(), std::nullopt);
}

// The manifest's digests come from the bytes as they were written, by the pass or by the
// unpacking after the last byte; each must be its file's own.
TEST_F(ArrivingArchiveTest, TheManifestTellsEachFilesOwnDigestWhoeverWroteIt) {
  std::string big((5 << 20) + 1, '\0');  // more than the pass may fall behind
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>((i * 2654435761u) >> 13);
  struct Case {
    const char* what;
    std::string zip;
    bool at_once;         // every byte there before the pass starts
    std::size_t by_pass;  // files the pass wrote
  };
  const Case cases[] = {
      {"written by the pass as the bytes came", Honest(), false, 4},
      {"left to the unpacking: the archive came faster than the pass",
       ZipBuilder().Stored("Foo/big.bin", big).File("Foo/small.txt", "small").Bytes(), true, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const fs::path base = dir_.path() / (c.at_once ? "at-once" : "streamed") / "Rk5";
    fs::create_directories(base / "Helper");
    WriteFileBytes(base / "Helper/Local.ini", "[Foo]\r\nName=Foo\r\n");
    const std::string archive = (base / "Helper/Foo.zip").string();
    ToolInstallation installation(InstallPlatform::ThisSystem(), base.string() + "/", "Foo");
    std::unique_ptr<platform::FileStager> stager = platform::MakeFileStager();
    ArrivingArchive arriving(*stager);
    std::unique_ptr<platform::StagedFile> file = arriving.Stage(archive);
    const std::size_t piece = c.at_once ? c.zip.size() : 7000;
    const auto write = [&] {
      for (std::size_t at = 0; at < c.zip.size(); at += piece) file->Write(c.zip.data() + at, std::min(piece, c.zip.size() - at));
    };
    if (c.at_once) write();
    SpeculativeUnpack pass(arriving, ArchivePlatform::ThisSystem(), [&]() -> std::optional<std::string> {
      if (!installation.Begin()) return std::nullopt;
      return installation.UnpackFolder();
    });
    if (!c.at_once) write();
    ASSERT_TRUE(file->Close() && file->MoveOverTarget());
    const std::vector<ArrivedEntry>& arrived = ThroughAll(pass);
    EXPECT_EQ(std::accumulate(arrived.begin(), arrived.end(), std::size_t{0},
                              [](std::size_t n, const ArrivedEntry& e) { return n + (e.written ? 1 : 0); }),
              c.by_pass);

    TArchiveExtractor unzip;
    unzip.ExtractOptions = {eoCreateDirs, eoRestorePath};
    ASSERT_TRUE(installation.Unpack(unzip, archive, &arrived));
    IniFile local((base / "Helper/Local.ini").string());
    ASSERT_TRUE(installation.Finish(local, InstallRecord{"Foo", "2", (base / "Foo").string() + "/", "foo", "1"}));
    const std::optional<InstallManifest> manifest = ParseManifest(ReadFileBytes(base / "Helper/Foo.manifest"));
    ASSERT_TRUE(manifest);
    EXPECT_EQ(manifest->files.size(), c.at_once ? 2u : 4u);
    for (const ManifestFile& listed : manifest->files) {
      const std::optional<FileDigest> real = DigestOfFile((base / listed.path).string());
      ASSERT_TRUE(real) << listed.path;
      EXPECT_EQ(listed.size, real->size) << listed.path;
      EXPECT_EQ(listed.sha256, real->sha256) << listed.path;
    }
  }
}

}  // namespace
}  // namespace rk5::test
