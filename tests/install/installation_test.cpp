// Installing a tool as one step: everything that fails leaves the tree as it was, a final
// move that fails puts back what was moved, and a copy killed at any point of the final
// moves is finished or undone by the next start.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <algorithm>
#include <functional>

#include "install/archive_digest.h"
#include "install/download_names.h"
#include "install/install_journal.h"
#include "install/tool_removal.h"
#include "install/tool_installation.h"
#include "support/temp_dir.h"
#include "support/tree_snapshot.h"
#include "support/zip_builder.h"

namespace rk5::test {
namespace {

namespace fs = std::filesystem;

// The real file system, with a hook before each change it makes, so a test can fail a
// chosen step or end the process there. A tree is removed one name at a time, the journal
// last, as a file system that lists the staged files before it would.
class HookedMoves : public platform::FileMoves {
 public:
  std::function<bool(const char* what)> before;  // false fails the step
  bool Move(const std::string& from, const std::string& to) override {
    return Allow("move") && real_->Move(from, to);
  }
  bool KeepAside(const std::string& path, const std::string& aside) override {
    return Allow("aside") && real_->KeepAside(path, aside);
  }
  std::optional<platform::TreeListing> List(const std::string& folder) override {
    return real_->List(folder);
  }
  std::vector<std::string> Names(const std::string& folder) override { return real_->Names(folder); }
  std::string IdentityOf(const std::string& path) override { return real_->IdentityOf(path); }
  bool RemoveEmptyFolder(const std::string& path) override {
    return Allow("rmdir") && real_->RemoveEmptyFolder(path);
  }
  bool RemoveTree(const std::string& path) override {
    std::optional<platform::TreeListing> listing = real_->List(path);
    if (!listing) return !fs::exists(fs::symlink_status(path)) || (Allow("unlink") && real_->RemoveTree(path));
    std::stable_partition(listing->files.begin(), listing->files.end(),
                          [](const std::string& file) { return file != "journal"; });
    for (const std::string& file : listing->files) {
      if (!Allow("unlink") || ::unlink((path + "/" + file).c_str()) != 0) return false;
    }
    for (auto it = listing->folders.rbegin(); it != listing->folders.rend(); ++it) {
      if (!RemoveEmptyFolder(path + "/" + *it)) return false;
    }
    return RemoveEmptyFolder(path);
  }

 private:
  bool Allow(const char* what) { return !before || before(what); }
  std::unique_ptr<platform::FileMoves> real_ = platform::MakeFileMoves();
};

class HookedTree : public platform::FileTree {
 public:
  std::function<bool(const char* what)> before;
  bool FolderExists(const std::string& path) override { return real_->FolderExists(path); }
  bool Exists(const std::string& path) override { return real_->Exists(path); }
  bool CreateFolders(const std::string& path) override {
    return Allow("mkdir") && real_->CreateFolders(path);
  }
  bool CreateFoldersBelow(const std::string& base, const std::string& folder) override {
    return Allow("mkdir") && real_->CreateFoldersBelow(base, folder);
  }
  bool CanOpenForWriting(const std::string& path) override { return real_->CanOpenForWriting(path); }
  bool RemoveFile(const std::string& path) override { return Allow("unlink") && real_->RemoveFile(path); }
  bool LinkBetween(const std::string& base, const std::string& folder) override {
    return real_->LinkBetween(base, folder);
  }

 private:
  bool Allow(const char* what) { return !before || before(what); }
  std::unique_ptr<platform::FileTree> real_ = platform::MakeFileTree();
};

class InstallationTest : public ::testing::Test {
 protected:
  InstallationTest() {
    fs::create_directories(program_);
    fs::create_directories(base_ / "Foo" / "doc");
    WriteFileBytes(base_ / "Foo/foo.exe", "old program");
    WriteFileBytes(base_ / "Foo/doc/readme.txt", "old readme");
    WriteFileBytes(base_ / "Foo/settings.cfg", "kept by the user");
    WriteFileBytes(program_ / "Local.ini",
                   "[Foo]\r\nName=Foo Tool\r\nOBuild=007\r\nBuild=3\r\nOExeName=foo.exe\r\n"
                   "OVersion=2.0\r\n");
    // The INI engine's lock file, as an earlier write leaves it.
    WriteFileBytes(program_ / "Local.ini.lock", "");
    moves_ = std::make_shared<HookedMoves>();
    tree_ = std::make_shared<HookedTree>();
    platform_.moves = moves_;
    platform_.tree = tree_;
    platform_.process_id = 4242;
    unzip_.ExtractOptions = {eoCreateDirs, eoRestorePath};
  }

  static ZipBuilder NewTool() {
    return ZipBuilder()
        .Folder("Foo/")
        .File("Foo/foo.exe", "new program")
        .File("Foo/doc/readme.txt", "new readme")
        .File("Foo/bin/lib.so", std::string(5000, 'l'))
        .File("Foo/bin/deep/data.bin", "data");
  }

  InstallRecord Record() const {
    return InstallRecord{"Foo", "007", (base_ / "Foo").string() + "/", "foo.exe", "2.0"};
  }

  // Unpacks archive bytes and makes the final moves.
  InstallStatus Install(const std::string& archive) {
    WriteFileBytes(archive_, archive);
    ToolInstallation installation(platform_, base_.string() + "/", "Foo");
    InstallStatus status = installation.Unpack(unzip_, archive_.string());
    if (!status) return status;
    IniFile local(local_ini_.string());
    return installation.Finish(local, Record());
  }

  InstallStatus Repair() {
    IniFile local(local_ini_.string());
    return RepairInterruptedInstall(platform_, base_.string() + "/", "Foo", local);
  }

  TreeSnapshot Snapshot() const { return SnapshotTree(dir_.path()); }

 public:
  void Walk(bool record_refused);

 protected:

  TempDir dir_;
  fs::path base_ = dir_.path() / "Rk5";
  fs::path program_ = base_ / "Helper";
  fs::path local_ini_ = program_ / "Local.ini";
  fs::path archive_ = program_ / "Foo.zip";
  std::shared_ptr<HookedMoves> moves_;
  std::shared_ptr<HookedTree> tree_;
  InstallPlatform platform_;
  TArchiveExtractor unzip_;
};

TEST_F(InstallationTest, InstallsBesideTheOldFilesAndRecordsTheFiveKeysInOrder) {
  ASSERT_TRUE(Install(NewTool().Bytes()));
  EXPECT_EQ(ReadFileBytes(base_ / "Foo/foo.exe"), "new program");
  EXPECT_EQ(ReadFileBytes(base_ / "Foo/doc/readme.txt"), "new readme");
  EXPECT_EQ(ReadFileBytes(base_ / "Foo/bin/deep/data.bin"), "data");
  EXPECT_EQ(ReadFileBytes(base_ / "Foo/settings.cfg"), "kept by the user");
  EXPECT_EQ(ReadFileBytes(local_ini_),
            "[Foo]\r\nName=Foo Tool\r\nOBuild=007\r\nBuild=007\r\nOExeName=foo.exe\r\n"
            "OVersion=2.0\r\nPath=" + base_.string() + "/Foo/\r\nExeName=foo.exe\r\n"
            "Version=2.0\r\nInstalled=1\r\n");
  // Nothing of the staging folder is left, and the archive stays where it was.
  EXPECT_EQ(Snapshot().count("Rk5/" + StagingFolderName("Foo", 4242)), 0u);
  EXPECT_TRUE(fs::exists(archive_));
  EXPECT_EQ(unzip_.BaseDirectory(), base_.string());
}

TEST_F(InstallationTest, EveryFailureBeforeTheFinalMovesLeavesTheTreeByteForByte) {
  std::string damaged = NewTool().Bytes();
  DamageData(damaged, "Foo/bin/lib.so");
  std::string wrong_crc = NewTool().Bytes();
  PatchCrc(wrong_crc, "Foo/doc/readme.txt", 0x12345678);
  std::string truncated = NewTool().Bytes();
  truncated.resize(truncated.size() / 2);
  struct Case {
    const char* what;
    std::string archive;
    std::function<void()> prepare;
  };
  std::vector<Case> cases = {
      {"an error page", "<html><body>Not Found</body></html>", {}},
      {"an empty file", "", {}},
      {"a truncated archive", truncated, {}},
      {"damaged data", damaged, {}},
      {"a checksum mismatch", wrong_crc, {}},
      {"a name outside the base", ZipBuilder().File("Foo/a", "a").File("../evil", "x").Bytes(), {}},
      {"a link entry", ZipBuilder().File("Foo/a", "a").Link("Foo/l", "/etc/passwd").Bytes(), {}},
      {"an encrypted entry", ZipBuilder().File("Foo/a", "a").Encrypted().Bytes(), {}},
      {"an archive without files", ZipBuilder().Folder("Foo/").Bytes(), {}},
      {"a staging folder's name", ZipBuilder().File("Foo/a", "a").File(".rk5-stage.Foo.9/journal", "x").Bytes(), {}},
      {"a file where a folder goes", NewTool().Bytes(),
       [this] { WriteFileBytes(base_ / "Foo/bin", "a file named bin"); }},
      {"a folder where a file goes", NewTool().Bytes(),
       [this] {
         fs::remove(base_ / "Foo/foo.exe");
         fs::create_directories(base_ / "Foo/foo.exe");
       }},
      {"a folder link planted inside the base", NewTool().Bytes(),
       [this] {
         fs::remove(base_ / "Foo/foo.exe");
         WriteFileBytes(base_ / "Foo/foo.exe", "old program");
         fs::remove(base_ / "Foo/bin");
         fs::create_directories(dir_.path() / "elsewhere");
         fs::create_directory_symlink(dir_.path() / "elsewhere", base_ / "Foo/bin");
       }},
      {"the program's own folder",
       ZipBuilder().File("Foo/a", "a").File("helper/rk5helper", "x").File("Helper/Local.ini", "x").Bytes(),
       [this] { fs::remove(base_ / "Foo/bin"); }},
      {"another tool's folder", ZipBuilder().File("Foo/a", "a").File("Bar/bar.sh", "x").Bytes(),
       [this] {
         fs::create_directories(base_ / "Bar");
         WriteFileBytes(base_ / "Bar/bar.sh", "Bar's own");
         WriteFileBytes(local_ini_, ReadFileBytes(local_ini_) + "[Bar]\r\nPath=" + base_.string() +
                                        "//Bar/\r\n[Base]\r\nPath=" + base_.string() + "/\r\n");
       }},
  };
  for (Case& c : cases) {
    if (c.prepare) c.prepare();
    WriteFileBytes(archive_, c.archive);
    const TreeSnapshot before = Snapshot();
    InstallStatus status = Install(c.archive);
    EXPECT_FALSE(status) << c.what;
    EXPECT_EQ(TreeDifference(before, Snapshot()), "") << c.what << ": " << status.detail;
  }
}

TEST_F(InstallationTest, AMissingBaseFolderFailsWithoutCreatingIt) {
  WriteFileBytes(archive_, NewTool().Bytes());
  ToolInstallation installation(platform_, (dir_.path() / "gone").string() + "/", "Foo");
  InstallStatus status = installation.Unpack(unzip_, archive_.string());
  EXPECT_EQ(status.failure, InstallFailure::kBaseUnusable);
  EXPECT_FALSE(fs::exists(dir_.path() / "gone"));
}

TEST_F(InstallationTest, ARefusedRecordPutsEveryMovedFileBack) {
  // "Local.ini" that cannot be replaced (a folder stands in its place) refuses the record
  // after all files have been moved.
  fs::rename(local_ini_, dir_.path() / "saved.ini");
  fs::create_directories(local_ini_);
  WriteFileBytes(archive_, NewTool().Bytes());
  const TreeSnapshot before = Snapshot();
  InstallStatus status = Install(NewTool().Bytes());
  EXPECT_EQ(status.failure, InstallFailure::kRecordNotWritten);
  EXPECT_EQ(TreeDifference(before, Snapshot()), "");
}

TEST_F(InstallationTest, AFinalMoveThatFailsAtAnyStepPutsEverythingBack) {
  WriteFileBytes(archive_, NewTool().Bytes());
  const TreeSnapshot before = Snapshot();
  // Count the steps of a whole installation first, then fail each one in turn.
  int steps = 0;
  moves_->before = [&steps](const char* what) {
    if (std::string(what) == "move" || std::string(what) == "aside") ++steps;
    return true;
  };
  {
    TempDir scratch;
    fs::copy(dir_.path(), scratch.path(), fs::copy_options::recursive);
    InstallPlatform copy = platform_;
    ToolInstallation installation(copy, (scratch.path() / "Rk5").string() + "/", "Foo");
    WriteFileBytes(scratch.path() / "Rk5/Helper/Foo.zip", NewTool().Bytes());
    ASSERT_TRUE(installation.Unpack(unzip_, (scratch.path() / "Rk5/Helper/Foo.zip").string()));
    IniFile local((scratch.path() / "Rk5/Helper/Local.ini").string());
    ASSERT_TRUE(installation.Finish(local, Record()));
  }
  ASSERT_EQ(steps, 7);  // four moves in and the manifest, two files kept aside
  for (int failing = 1; failing <= steps; ++failing) {
    int step = 0;
    moves_->before = [&step, failing](const char* what) {
      const std::string kind(what);
      if (kind != "move" && kind != "aside") return true;
      return ++step != failing;
    };
    InstallStatus status = Install(NewTool().Bytes());
    EXPECT_EQ(status.failure, InstallFailure::kMoveFailed) << "step " << failing << status.detail;
    EXPECT_EQ(TreeDifference(before, Snapshot()), "") << "step " << failing;
  }
}

// The tree after a complete installation, for comparison with repaired ones.
TreeSnapshot Installed(const TreeSnapshot& old_tree) {
  TreeSnapshot tree = old_tree;
  tree["Rk5/Foo/foo.exe"] = "file:new program";
  tree["Rk5/Foo/doc/readme.txt"] = "file:new readme";
  tree["Rk5/Foo/bin"] = "folder";
  tree["Rk5/Foo/bin/lib.so"] = "file:" + std::string(5000, 'l');
  tree["Rk5/Foo/bin/deep"] = "folder";
  tree["Rk5/Foo/bin/deep/data.bin"] = "file:data";
  return tree;
}

// Kills the installing copy at each step that changes the tree in turn (the final moves,
// their undoing and every removal of the clean-up, staged files before the journal) and
// lets the next start repair. With the record refused (a folder where the INI lock goes)
// every repair must give back the old installation byte for byte.
void InstallationTest::Walk(bool record_refused) {
  WriteFileBytes(archive_, NewTool().Bytes());
  const TreeSnapshot old_tree = Snapshot();
  TreeSnapshot new_tree = Installed(old_tree);
  new_tree["Rk5/Helper/Local.ini"] =
      "file:[Foo]\r\nName=Foo Tool\r\nOBuild=007\r\nBuild=007\r\nOExeName=foo.exe\r\n"
      "OVersion=2.0\r\nPath=" + base_.string() + "/Foo/\r\nExeName=foo.exe\r\nVersion=2.0\r\n"
      "Installed=1\r\n";
  const fs::path lock = program_ / "Local.ini.lock";
  int finished = 0, undone = 0;
  for (int kill_at = 1;; ++kill_at) {
    if (record_refused) {
      fs::remove(lock);
      fs::create_directories(lock);
    }
    int step = 0;
    auto die_at = [&step, kill_at](const char*) {
      if (++step == kill_at) ::raise(SIGKILL);
      return true;
    };
    moves_->before = die_at;
    tree_->before = die_at;
    pid_t child = ::fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
      bool ok = static_cast<bool>(Install(NewTool().Bytes()));
      ::_exit(ok == !record_refused ? 0 : 1);
    }
    int wait_status = 0;
    ASSERT_EQ(::waitpid(child, &wait_status, 0), child);
    moves_->before = nullptr;
    tree_->before = nullptr;
    if (record_refused) {
      fs::remove(lock);
      WriteFileBytes(lock, "");
    }
    const bool killed = WIFSIGNALED(wait_status);
    if (!killed) {
      ASSERT_TRUE(WIFEXITED(wait_status) && WEXITSTATUS(wait_status) == 0) << "step " << kill_at;
      break;  // the installation ran past its last step
    }
    ASSERT_TRUE(Repair()) << "step " << kill_at;
    TreeSnapshot after = Snapshot();
    // The manifest comes with the record (its lines in the order the staged files list in).
    const bool listed = after.erase("Rk5/Helper/Foo.manifest") == 1;
    EXPECT_EQ(listed, !record_refused && after == new_tree) << "step " << kill_at;
    if (!record_refused && after == new_tree) {
      ++finished;
    } else {
      EXPECT_EQ(TreeDifference(old_tree, after), "") << "killed at step " << kill_at;
      ++undone;
    }
    // Start over from the old installation.
    fs::remove_all(dir_.path());
    for (const auto& [path, entry] : old_tree) {
      if (entry == "folder") {
        fs::create_directories(dir_.path() / path);
      } else {
        WriteFileBytes(dir_.path() / path, entry.substr(5));
      }
    }
    ASSERT_LT(kill_at, 400);
  }
  // Kills before the last move undo it; kills after it finish it. With the record refused,
  // the undoing and the clean-up come after the moves: more steps, all undone.
  EXPECT_GT(undone, record_refused ? 20 : 5);
  EXPECT_EQ(finished > 0, !record_refused);
}

TEST_F(InstallationTest, ACopyKilledAtAnyStepIsFinishedOrUndoneByTheNextStart) { Walk(false); }

TEST_F(InstallationTest, ACopyKilledAtAnyStepOfTheCleanUpAfterARefusedRecordLeavesTheOldTool) {
  Walk(true);
}

TEST_F(InstallationTest, RepairRemovesLeftoversOfThisToolOnlyAndKeepsAnUnreadableJournal) {
  fs::create_directories(base_ / ".rk5-stage.FOO.17/new/Foo");  // killed while unpacking
  WriteFileBytes(base_ / ".rk5-stage.FOO.17/new/Foo/foo.exe", "half");
  fs::create_directories(base_ / ".rk5-stage.Bar.18/new");  // another tool's, maybe alive
  fs::create_directories(base_ / ".rk5-stage.Foo.x");       // not a staging name
  ASSERT_TRUE(Repair());
  EXPECT_FALSE(fs::exists(base_ / ".rk5-stage.FOO.17"));
  EXPECT_TRUE(fs::exists(base_ / ".rk5-stage.Bar.18"));
  EXPECT_TRUE(fs::exists(base_ / ".rk5-stage.Foo.x"));

  // A journal that cannot be read is kept, and the tool is not touched.
  fs::create_directories(base_ / ".rk5-stage.Foo.19");
  WriteFileBytes(base_ / ".rk5-stage.Foo.19/journal", "rk5 install journal 1\nsection Foo\n");
  EXPECT_EQ(Repair().failure, InstallFailure::kRepairIncomplete);
  EXPECT_TRUE(fs::exists(base_ / ".rk5-stage.Foo.19/journal"));
  EXPECT_EQ(ReadFileBytes(base_ / "Foo/foo.exe"), "old program");
}

TEST_F(InstallationTest, AJournalEditedByHandTouchesNothingOutsideTheStagingFolder) {
  fs::create_directories(base_ / "Bar");
  WriteFileBytes(base_ / "Bar/bar.sh", "Bar's own");
  WriteFileBytes(local_ini_, ReadFileBytes(local_ini_) + "[Bar]\r\nPath=" + base_.string() + "/Bar/\r\n");
  const std::string head = "rk5 install journal 2\nphase moving-in\nsection Foo\nbuild 9\npath p\n"
                           "exename e\nversion v\nfolder 0 0 Bar\nfolder 0 1 Foo\n";
  const std::string bar = moves_->IdentityOf((base_ / "Bar/bar.sh").string());
  struct Case {
    const char* what;
    std::string journal;
    bool repaired;  // settled and removed, or kept for the user
  };
  const std::vector<Case> cases = {
      {"an unknown phase", "rk5 install journal 2\nphase half-done\n" + head.substr(38) + "end\n", false},
      {"a name that climbs", head + "file 0 1:1 - ..\nend\n", false},
      {"another tool's record", "rk5 install journal 2\nphase committed\nsection Bar\n" + head.substr(50) + "end\n", false},
      {"64 MiB of lines", head + std::string(std::size_t{64} << 20, '\n'), false},
      // Parses, but proves nothing: Bar's file was never staged, the aside is no old file.
      {"identities of nothing staged", head + "file 2 1:1 " + bar + " foo.exe\nfile 2 1:2 - readme\nend\n", true},
      {"Bar's own file as if staged", "rk5 install journal 2\nphase rolled-back\n" + head.substr(38) + "file 1 " + bar + " 1:3 bar.sh\nend\n", false},
  };
  for (const Case& c : cases) {
    const fs::path staging = base_ / ".rk5-stage.Foo.77";
    fs::create_directories(staging / "old/Bar");
    WriteFileBytes(staging / "old/Bar/bar.sh", "planted");
    WriteFileBytes(staging / "journal", c.journal);
    TreeSnapshot before = Snapshot();
    const InstallStatus status = Repair();
    EXPECT_EQ(static_cast<bool>(status), c.repaired) << c.what;
    EXPECT_EQ(fs::exists(staging), !c.repaired) << c.what;
    TreeSnapshot after = Snapshot();
    for (TreeSnapshot* tree : {&before, &after}) {
      std::erase_if(*tree, [](const auto& item) { return item.first.find(".rk5-stage.") != std::string::npos; });
    }
    EXPECT_EQ(TreeDifference(before, after), "") << c.what;
    fs::remove_all(staging);
  }
}

TEST(InstallJournal, KeepsAnyNameOnItsLineAndRefusesWhatItNeverWrites) {
  InstallJournal journal;
  journal.phase = JournalPhase::kRolledBack;
  journal.record = {"Foo", "007", "/odd\npath%/Foo/", "a b.exe", ""};
  journal.folders = {{"Foo", false}, {"Foo/new\tfolder", true}};
  journal.files = {{"Foo/100% sure.txt", "1:2", ""}, {"Foo/new\tfolder/line\r\nbreak", "1:3", "1:9"},
                   {"\x7f", "1:4", ""}};
  const std::string text = SerializeJournal(journal).value();
  std::optional<InstallJournal> back = ParseJournal(text);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->phase, JournalPhase::kRolledBack);
  EXPECT_EQ(back->files.at(1).path, journal.files[1].path);
  EXPECT_EQ(SerializeJournal(*back), text);  // every field came back
  // Edited by hand: cut short, an unknown phase, a name that climbs or is a path, a
  // parent that is not an earlier folder, an older format.
  const std::string head = "rk5 install journal 2\nphase moving-in\nsection Foo\nbuild 1\npath p\n"
                           "exename e\nversion v\nfolder 0 0 Foo\n";
  EXPECT_TRUE(ParseJournal(head + "file 1 1:2 - a\nend\n"));
  for (const std::string& bad :
       {text.substr(0, text.size() - 4), text + "file 0 1:2 - x\n", head + "end", head + "file 1 1:2 - .\nend\n",
        head + "file 1 1:2 - a/../../x\nend\n", head + "file 2 1:2 - a\nend\n", head + "file 1  - a\nend\n",
        std::string("rk5 install journal 1\nsection Foo\nend\n")}) {
    EXPECT_FALSE(ParseJournal(bad)) << bad;
  }
}

TEST(ArchiveDigest, StreamsTheFileAndComparesWithoutLetterCase) {
  TempDir dir;
  WriteFileBytes(dir.file("a.zip"), "abc");
  const std::string abc = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
  EXPECT_EQ(Sha256OfFile(dir.file("a.zip").string()), abc);
  std::string upper = abc;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  EXPECT_TRUE(ArchiveMatchesDigest(dir.file("a.zip").string(), upper));
  std::string other = abc;
  other[63] = 'e';
  EXPECT_FALSE(ArchiveMatchesDigest(dir.file("a.zip").string(), other));
  EXPECT_FALSE(ArchiveMatchesDigest(dir.file("a.zip").string(), abc.substr(1)));
  EXPECT_FALSE(ArchiveMatchesDigest(dir.file("a.zip").string(), "g" + abc.substr(1)));
  EXPECT_FALSE(ArchiveMatchesDigest(dir.file("missing.zip").string(), abc));
  // Larger than one read block.
  WriteFileBytes(dir.file("big.zip"), std::string(600 * 1024, 'x'));
  EXPECT_EQ(Sha256OfFile(dir.file("big.zip").string()),
            "565f868bfcd92464c97462f9d25b6820ba92712256b03730fd8186f0f02215ce");
}

TEST(DownloadNames, BaseFolderComponentNamesAndService) {
  EXPECT_EQ(InstallBaseOf("/opt/Rk5/Helper/"), "/opt/Rk5/");
  EXPECT_EQ(InstallBaseOf("/Helper/"), "/");
  EXPECT_EQ(ArchiveFileOf("/opt/Rk5/Helper/", "Foo"), "/opt/Rk5/Helper/Foo.zip");
  for (const char* good : {"Foo", "_x", "a1_B2", "Z"}) EXPECT_TRUE(IsComponentName(good)) << good;
  for (std::string bad : {std::string(), std::string("1abc"), std::string("a-b"), std::string("../x"),
                          std::string("a/b"), std::string("a b"), std::string("a\x01"),
                          std::string("caf\xe9"), std::string("a\0b", 3)}) {
    EXPECT_FALSE(IsComponentName(bad)) << bad;
  }
  EXPECT_TRUE(IsComponentName(std::string(10000, 'a')));
  EXPECT_EQ(ServiceNameOf("rk5helper"), "rk5helper");
  EXPECT_EQ(ServiceNameOf("Rk5Helper.exe"), "Rk5Helper");
  EXPECT_EQ(ServiceNameOf("rk5.helper.bin"), "rk5");
  EXPECT_EQ(ServiceNameOf("/home/me/.local/opt/Rk5/Helper/rk5helper"), "rk5helper");
}

// An update lists what it placed and what the older install left; the uninstall then takes
// exactly the listed files that are still as installed, and counts what stays in the
// folders the installs made.
TEST_F(InstallationTest, AnUpdateListsWhatItLeftAndTheUninstallTakesOnlyWhatIsAsInstalled) {
  ASSERT_TRUE(Install(NewTool().Bytes()));
  ASSERT_TRUE(Install(ZipBuilder().File("Foo/foo.exe", "newer program").File("Foo/bin/deep/data.bin", "data").Bytes()));
  WriteFileBytes(base_ / "Foo/bin/deep/data.bin", "changed by the user");
  TreeSnapshot expected = Snapshot();
  for (const char* gone : {"Rk5/Foo/foo.exe", "Rk5/Foo/doc/readme.txt", "Rk5/Foo/bin/lib.so", "Rk5/Helper/Foo.manifest"}) {
    ASSERT_EQ(expected.erase(gone), 1u) << gone;
  }
  IniFile local(local_ini_.string());
  const RemovalOutcome outcome = RemoveTool(platform_, base_.string() + "/", "Foo", local);
  EXPECT_EQ(outcome.removed, 3u);
  EXPECT_EQ(outcome.kept, 1u);  // settings.cfg lies in a folder that was there before
  TreeSnapshot after = Snapshot();
  expected["Rk5/Helper/Local.ini"] = after["Rk5/Helper/Local.ini"];
  EXPECT_EQ(TreeDifference(expected, after), "");
  EXPECT_EQ(local.ReadString("Foo", "Installed", "-") + local.ReadString("Foo", "Path", "-"), "");
}

}  // namespace
}  // namespace rk5::test
